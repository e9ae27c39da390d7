// The simulated models (the factory's model strings, then bodies it does not know) with the
// USB ids the simulated port reports for them.
#pragma once

#include <cstddef>
#include <string>

namespace camsim {

struct ModelInfo {
    const char* model;    // exact model string reported in the abilities
    const char* profile;  // profile file stem under the profile directory
    int usbVendor;
    int usbProduct;
};

// Vendor id of every simulated camera; no real device uses it.
constexpr int kSimVendor = 0xCA51;

const ModelInfo* ModelTable(std::size_t* count);
// Lookup by exact model string; nullptr when unknown.
const ModelInfo* FindModel(const std::string& model);

}  // namespace camsim
