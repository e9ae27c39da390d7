// Where the web remote listens and who may use it: read from a small "key = value" file
// (packaging/camera-web.conf shows every key).
#pragma once

#include <string>
#include <vector>

struct WebConfig {
    std::string address = "127.0.0.1";
    int port = 8080;                     // 0: any free port (the server tells which)
    std::string tokenFile;               // the token is the first line of this file
    bool generateToken = false;          // no file: a random token, printed (not logged) at start
    std::vector<std::string> hostNames;  // further names the Host header may give (lower case)
    int maxConnections = 40;             // requests and event streams served at once
    int reservedConnections = 4;         // of them, kept for local clients and token holders
    int maxPerClient = 8;                // connections open at once from one non-local address
    int headerTimeoutS = 10;             // a request's headers and body must be in within this
    int idleTimeoutS = 30;               // a connection that sends and receives nothing this long is closed
    int heartbeatMs = 10000;             // an event stream carries at least this often

    // 0, or -1 with the reason in `error`. Unknown keys and bad values are errors.
    int Parse(const std::string& text, std::string& error);
    // A missing file leaves the defaults; an unreadable or bad one is an error.
    int Load(const std::string& path, std::string& error);
    // The token the server checks ("" when none is needed: a loopback address and no token
    // configured). A non-loopback address without a token, or a weak token, is an error.
    int ResolveToken(std::string& token, std::string& error) const;
};

// The least a token from a file must hold, in estimated bits (length times the bits of the
// character kinds it uses), and the fewest different characters.
constexpr double kMinTokenBits = 64;
constexpr size_t kMinTokenDistinct = 8;
// "" when `token` is strong enough, else why not.
std::string WeakTokenReason(const std::string& token);

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);
