// File helpers and log checks for the utility-library tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "LogCapture.h"

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Whether a line with exactly this module, level and message was logged.
inline bool HasLog(const LogCapture& logs, const std::string& module, int level, const std::string& message) {
    for (const LogLine& l : logs.Lines()) {
        if (l.module == module && l.level == level && l.message == message) {
            return true;
        }
    }
    return false;
}
