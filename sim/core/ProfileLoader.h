// Model profiles: sim/profiles/<stem>.json. A profile names its model, may inherit another
// profile ("inherits": "<stem>", resolved in the same directory) and lists widgets; a widget
// of the same name as an inherited one overrides only the keys it gives, "remove" drops
// inherited widgets.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CameraState.h"

namespace camsim {

// Finds the file for a profile stem, a path to a .json file or an exact model string.
// GP_OK with *path set, or GP_ERROR_FILE_NOT_FOUND with *error.
int ResolveProfile(const std::string& profileOrModel, const std::string& profileDir, std::string* path,
                   std::string* error);

// Loads a profile into a fresh state (widgets, model, USB ids, settle delay).
// GP_OK, GP_ERROR_FILE_NOT_FOUND or GP_ERROR_CORRUPTED_DATA; *error names the file and the problem.
int LoadProfile(const std::string& path, CameraState* out, std::string* error);

// "dir/base-sony.json" -> "base-sony".
std::string ProfileStem(const std::string& path);
// The name of a widget object of a profile; "" when it has none.
std::string WidgetName(const nlohmann::json& widget);

// A profile as JSON with its inheritance merged in, not yet checked (base profiles have no model).
int LoadProfileJson(const std::string& path, nlohmann::json* out, std::string* error);

// Checks a merged profile and turns it into a fresh state; path names it in *error.
int ProfileFromJson(const nlohmann::json& merged, const std::string& path, CameraState* out,
                    std::string* error);

// Stems of the pluggable profiles in dir (files "base-*.json" only serve inheritance).
std::vector<std::string> ListProfiles(const std::string& dir);

}  // namespace camsim
