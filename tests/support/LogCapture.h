// Collects every log line of the process while alive.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "zrlog.h"

struct LogLine {
    std::string module, file;
    int line = 0, level = 0;
    std::string message;
};

class LogCapture {
  public:
    LogCapture() { zr_log_set_hook(&LogCapture::Hook, this); }
    ~LogCapture() { zr_log_set_hook(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const LogLine& l : Lines())
            out.push_back(l.message);
        return out;
    }
    int Count(int level, const std::string& message) const {
        std::vector<LogLine> lines = Lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const LogLine& l) {
            return l.level == level && l.message == message;
        }));
    }
    bool Has(int level, const std::string& message) const { return Count(level, message) > 0; }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

  private:
    static void Hook(void* user, const char* module, const char* file, int line, int level,
                     const char* message) {
        auto* self = static_cast<LogCapture*>(user);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_lines.push_back(LogLine{module, file, line, level, message});
    }

    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};
