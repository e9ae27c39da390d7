// Records of a running `camera-host --json`, and waits on them and on the camera.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"

// The output of `camera-host --json` and `camera-monitor --json`; a line not JSON fails the test.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> out;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (++number, j.is_discarded() || !j.is_object()) {
            ADD_FAILURE() << "line " << number << " of standard output is not a JSON object: " << line;
        } else {
            out.push_back(j);
        }
    }
    return out;
}

// The records of the complete lines so far; a line still being written is left for later.
inline std::vector<nlohmann::json> Records(const Process& host) {
    const std::string& out = host.Out();
    return JsonLines(out.substr(0, out.rfind('\n') + 1));
}

// The index of the first record after the first `seen` ones that satisfies `wanted`, or -1.
inline int WaitForRecord(Process& host, size_t seen,
                         const std::function<bool(const nlohmann::json&)>& wanted) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    do {
        std::vector<nlohmann::json> records = Records(host);
        for (size_t i = seen; i < records.size(); ++i)
            if (wanted(records[i]))
                return static_cast<int>(i);
        host.WaitForOutput("\n{never}", 100);  // only pumps the output
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

inline bool Eventually(const std::function<bool()>& condition, int timeoutMs = 15000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}
