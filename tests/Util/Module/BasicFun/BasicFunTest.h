// Scratch directories, file helpers and log checks for the utility-library tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "LogCapture.h"

// A scratch directory for one test, removed with everything in it afterwards.
class TestDir {
  public:
    explicit TestDir(const std::string& parent = std::filesystem::temp_directory_path().string()) {
        std::string templ = parent + "/basicfun_XXXXXX";
        if (mkdtemp(&templ[0]) != nullptr) {
            m_path = templ;
        }
    }
    ~TestDir() {
        std::error_code ec;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ec);
        }
    }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    bool Ok() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

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
