#include "WebConfig.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return std::string();
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

bool ParseNumber(const std::string& text, long min, long max, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    if (address == "localhost" || address == "::1")
        return true;
    in_addr a{};
    return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

int WebConfig::Parse(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        size_t eq = line.find('=');
        std::string key = Trim(line.substr(0, eq));
        std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
        const std::string where = "line " + std::to_string(number) + ": ";
        if (eq == std::string::npos || value.empty()) {
            error = where + "expected KEY = VALUE";
            return -1;
        }
        struct NumberKey {
            const char* name;
            int* field;
            long min, max;
        } numbers[] = {{"port", &port, 0, 65535},
                       {"max_connections", &maxConnections, 1, 1000},
                       {"idle_timeout", &idleTimeoutS, 1, 3600},
                       {"heartbeat_ms", &heartbeatMs, 10, 600000}};
        bool known = false;
        for (const NumberKey& n : numbers) {
            if (key != n.name)
                continue;
            known = true;
            if (!ParseNumber(value, n.min, n.max, *n.field)) {
                error = where + key + " must be a whole number from " + std::to_string(n.min) + " to " +
                        std::to_string(n.max);
                return -1;
            }
        }
        if (known)
            continue;
        if (key == "address") {
            in6_addr a6{};
            in_addr a4{};
            if (value != "localhost" && inet_pton(AF_INET, value.c_str(), &a4) != 1 &&
                inet_pton(AF_INET6, value.c_str(), &a6) != 1) {
                error = where + "address '" + value + "' is not a numeric IPv4 or IPv6 address";
                return -1;
            }
            address = value;
        } else if (key == "token_file") {
            tokenFile = value;
        } else if (key == "generate_token") {
            if (value != "yes" && value != "no") {
                error = where + "generate_token must be yes or no";
                return -1;
            }
            generateToken = value == "yes";
        } else {
            error = where + "unknown key '" + key + "'";
            return -1;
        }
    }
    return 0;
}

int WebConfig::Load(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT)
            return 0;
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (Parse(text.str(), error) != 0) {
        error = path + ": " + error;
        return -1;
    }
    return 0;
}

int WebConfig::ResolveToken(std::string& token, std::string& error) const {
    token.clear();
    if (!tokenFile.empty()) {
        std::ifstream in(tokenFile);
        if (!in || !std::getline(in, token) || Trim(token).size() < 8) {
            error = "token file " + tokenFile + " is missing, unreadable or holds fewer than 8 characters";
            return -1;
        }
        token = Trim(token);
        return 0;
    }
    if (generateToken) {
        unsigned char bytes[16];
        if (getrandom(bytes, sizeof(bytes), 0) != static_cast<ssize_t>(sizeof(bytes))) {
            error = std::string("cannot generate a token: ") + std::strerror(errno);
            return -1;
        }
        static const char kHex[] = "0123456789abcdef";
        for (unsigned char b : bytes) {
            token += kHex[b >> 4];
            token += kHex[b & 15];
        }
        return 0;
    }
    if (!IsLoopbackAddress(address)) {
        error = "address " + address + " is not loopback: set token_file or generate_token = yes";
        return -1;
    }
    return 0;
}
