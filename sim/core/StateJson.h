// JSON form of CameraState and of its widgets, shared by the state file and the profiles.
// Nothing here throws: problems come back as text for the caller to prefix with the file name.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "CameraState.h"

namespace camsim {

// Deepest nesting of arrays and objects that ParseJsonText accepts. Profiles and states need
// five levels; copying or printing a value recurses once per level, so a deeper text is refused
// before it is parsed.
constexpr std::size_t kMaxJsonDepth = 64;

// Parses JSON text; on failure *error holds the parser's message (with the byte position) or
// names the nesting limit.
bool ParseJsonText(const std::string& text, nlohmann::json* out, std::string* error);
// Serialises without throwing (invalid UTF-8 is replaced).
std::string DumpJson(const nlohmann::json& j, int indent = -1);
std::string DumpJson(const nlohmann::ordered_json& j, int indent = -1);

// Longest name, label or section libgphoto2 can hold (it copies them into 256-byte arrays).
constexpr std::size_t kMaxWidgetText = 255;

bool WidgetFromJson(const nlohmann::json& j, Widget* out, std::string* error);
nlohmann::json WidgetToJson(const Widget& w);

bool StateFromJson(const nlohmann::json& j, CameraState* out, std::string* error);
nlohmann::json StateToJson(const CameraState& s);

// A widget value as text: strings as they are, numbers in decimal, booleans as "1"/"0".
bool ValueText(const nlohmann::json& j, std::string* out);

}  // namespace camsim
