// The "ptp" object of the state file.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "PtpState.h"

namespace camsim {

nlohmann::json PtpStateToJson(const PtpState& s);
// False with *error on a malformed object.
bool PtpStateFromJson(const nlohmann::json& j, PtpState* s, std::string* error);

}  // namespace camsim
