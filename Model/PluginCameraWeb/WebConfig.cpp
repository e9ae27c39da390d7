#include "WebConfig.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <cctype>
#include <cerrno>
#include <cmath>
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
                       {"reserved_connections", &reservedConnections, 0, 1000},
                       {"max_per_client", &maxPerClient, 1, 1000},
                       {"header_timeout", &headerTimeoutS, 1, 3600},
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
        } else if (key == "host_names") {
            // Names for the Host header, e.g. the device's name in DNS: a DNS-rebinding page's
            // name is not among them.
            std::istringstream names(value);
            for (std::string name; names >> name;) {
                for (char& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") != std::string::npos) {
                    error = where + "host name '" + name + "' may hold only letters, digits, '.' and '-'";
                    return -1;
                }
                hostNames.push_back(name);
            }
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
    if (reservedConnections >= maxConnections) {
        error = "reserved_connections must be below max_connections";
        return -1;
    }
    return 0;
}

std::string WeakTokenReason(const std::string& token) {
    bool digit = false, lower = false, upper = false, other = false;
    bool seen[256] = {};
    size_t distinct = 0;
    for (char ch : token) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == 0x7f)
            return "it holds a space or a control character";
        digit |= std::isdigit(c) != 0;
        lower |= std::islower(c) != 0;
        upper |= std::isupper(c) != 0;
        other |= std::isalnum(c) == 0;
        distinct += seen[c] ? 0 : 1;
        seen[c] = true;
    }
    const int alphabet = (digit ? 10 : 0) + (lower ? 26 : 0) + (upper ? 26 : 0) + (other ? 32 : 0);
    const double bits = alphabet > 1 ? static_cast<double>(token.size()) * std::log2(alphabet) : 0;
    if (bits >= kMinTokenBits && distinct >= kMinTokenDistinct)
        return std::string();
    return std::to_string(token.size()) + " characters, " + std::to_string(distinct) + " different, about " +
           std::to_string(static_cast<int>(bits)) + " bits; at least " +
           std::to_string(static_cast<int>(kMinTokenBits)) + " bits and " +
           std::to_string(kMinTokenDistinct) +
           " different characters are needed (e.g. 16 random hex digits, or generate_token = yes)";
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
        if (!in || !std::getline(in, token) || Trim(token).empty()) {
            error = "token file " + tokenFile + " is missing, unreadable or empty";
            return -1;
        }
        token = Trim(token);
        const std::string weak = WeakTokenReason(token);
        if (!weak.empty()) {
            error = "token file " + tokenFile + " holds a weak token: " + weak;
            token.clear();
            return -1;
        }
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
