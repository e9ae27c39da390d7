// Standard output of `camera-host --json` (or `camera-monitor --json`): one JSON
// object per line. A line that is not JSON is a broken promise, so it fails
// the calling test instead of being skipped.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> out;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object()) {
            ADD_FAILURE() << "line " << number << " of standard output is not a JSON object: " << line;
            continue;
        }
        out.push_back(j);
    }
    return out;
}
