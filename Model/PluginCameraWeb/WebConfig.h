// Where the web remote listens and who may use it: read from a small "key = value" file
// (packaging/camera-web.conf shows every key).
#pragma once

#include <string>

struct WebConfig {
    std::string address = "127.0.0.1";
    int port = 8080;             // 0: any free port (the server tells which)
    std::string tokenFile;       // the token is the first line of this file
    bool generateToken = false;  // no file: a random token, logged at start
    int maxConnections = 40;     // open connections at once, event streams included
    int idleTimeoutS = 30;       // a connection that sends and receives nothing this long is closed
    int heartbeatMs = 10000;     // an event stream carries at least this often

    // 0, or -1 with the reason in `error`. Unknown keys and bad values are errors.
    int Parse(const std::string& text, std::string& error);
    // A missing file leaves the defaults; an unreadable or bad one is an error.
    int Load(const std::string& path, std::string& error);
    // The token the server checks ("" when none is needed: a loopback address and no token
    // configured). A non-loopback address without a token is an error.
    int ResolveToken(std::string& token, std::string& error) const;
};

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);
