// Text from outside (the network, the host, the camera) made safe for a log line or a console:
// control characters cannot start a forged line or drive the terminal. Header-only, so that a
// plug-in escapes its lines before they reach whichever libZRLog.so the device has.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "zrlog.h"

namespace zrlog {

// C0 controls and DEL as \n, \r, \t or \xHH; C1 controls and the bidirectional overrides and
// isolates as \uHHHH; bytes that are not UTF-8 as \xHH. Everything else, UTF-8 text included,
// is kept as it is.
inline std::string EscapeControls(std::string_view in) {
    const char* const hex = "0123456789abcdef";  // no static: a unique symbol would keep a library loaded
    std::string out;
    out.reserve(in.size());
    auto hexByte = [&](unsigned char c) {
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    };
    for (size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c < 0x20 || c == 0x7f) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else
                hexByte(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // One UTF-8 sequence: its length, its code point, and whether it is well formed.
        const size_t n = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
        unsigned cp = n == 2 ? c & 0x1f : n == 3 ? c & 0x0f : c & 0x07;
        bool ok = n != 0 && i + n <= in.size();
        for (size_t k = 1; ok && k < n; ++k) {
            const unsigned char t = static_cast<unsigned char>(in[i + k]);
            ok = (t & 0xc0) == 0x80;
            cp = (cp << 6) | (t & 0x3f);
        }
        ok = ok && !(n == 3 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) &&
             !(n == 4 && (cp < 0x10000 || cp > 0x10ffff));
        if (!ok) {
            hexByte(c);
            ++i;
            continue;
        }
        if ((cp >= 0x80 && cp <= 0x9f) || (cp >= 0x202a && cp <= 0x202e) || (cp >= 0x2066 && cp <= 0x2069) ||
            cp == 0x2028 || cp == 0x2029) {
            char u[8];
            std::snprintf(u, sizeof(u), "\\u%04x", cp);
            out += u;
        } else {
            out.append(in.data() + i, n);
        }
        i += n;
    }
    return out;
}

// zr_log_output with the formatted message escaped. Keeps errno for the caller's "%m".
inline void LogEscaped(const char* module, const char* file, int line, int level, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
inline void LogEscaped(const char* module, const char* file, int line, int level, const char* format, ...) {
    const int savedErrno = errno;
    char small[512];
    std::string text;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    errno = savedErrno;
    int n = std::vsnprintf(small, sizeof(small), format, copy);
    va_end(copy);
    if (n >= static_cast<int>(sizeof(small))) {
        text.resize(static_cast<size_t>(n) + 1);
        errno = savedErrno;
        std::vsnprintf(&text[0], text.size(), format, args);
        text.resize(static_cast<size_t>(n));
    } else if (n > 0) {
        text.assign(small, static_cast<size_t>(n));
    }
    va_end(args);
    errno = savedErrno;
    zr_log_output(module, file, line, level, "%s", EscapeControls(text).c_str());
    errno = savedErrno;
}

}  // namespace zrlog

// A module's log macro for lines that may carry outside text.
#define ZR_LOG_TEXT_AT(module, level, ...) \
    zrlog::LogEscaped(module, ZR_LOG_FILE, __LINE__, level, __VA_ARGS__)
