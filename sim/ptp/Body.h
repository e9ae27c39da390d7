// One camera body at the PTP level, as data: what its DeviceInfo says, its USB ids and every
// property it describes (code, data type, form, values, factory and current value). Loaded from
// sim/ptp/bodies/<profile stem>.json; each file names the public sources of its facts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PtpData.h"

namespace camsim {
namespace ptp {

struct Property {
    enum class Form : uint8_t { None = 0, Range = 1, Enum = 2 };

    uint16_t code = 0;
    uint16_t type = kUint16;
    bool writable = true;  // the descriptor's GetSet byte
    bool enabled = true;   // Sony's "is enabled" byte (0 greyed out, 1 enabled, 2 display only)
    uint8_t enabledByte = 1;
    Form form = Form::None;
    Value factory;
    Value current;  // at plug time
    Value min, max, step;
    std::vector<Value> values;  // the enumeration
    // What the ptp2 driver shows for a value: texts beside the enumeration (same order; "" where
    // none), or for numbers a scale and prefix: text = prefix + raw / scale.
    std::vector<std::string> texts;
    double scale = 0;
    std::string prefix;
    std::string widget;  // the libgphoto2 widget this property serves ("iso"), "" for none
};

struct Body {
    std::string path;
    std::string family;  // "sony", "canon", "nikon"
    int usbVendor = 0, usbProduct = 0;
    uint16_t standardVersion = 100;
    uint32_t vendorExtensionId = 0;
    uint16_t vendorExtensionVersion = 100;
    std::string vendorExtensionDesc;
    uint16_t functionalMode = 0;
    std::vector<uint16_t> operations, events, deviceProperties, captureFormats, imageFormats;
    std::string manufacturer, model, deviceVersion, serialNumber;
    std::vector<Property> properties;
    nlohmann::json extra;  // the family's own data ("sony", "canon", "nikon" object)

    const Property* Find(uint16_t code) const;
    // The property serving a libgphoto2 widget name; nullptr when none.
    const Property* FindWidget(const std::string& widget) const;
    bool Offers(uint16_t operation) const;
};

// GP_OK, GP_ERROR_FILE_NOT_FOUND or GP_ERROR_CORRUPTED_DATA with *error naming the file and problem.
int LoadBody(const std::string& path, Body* out, std::string* error);
// Checks and converts JSON already read; path only names it in *error.
int BodyFromJson(const nlohmann::json& j, const std::string& path, Body* out, std::string* error);
// A body loaded once per process and kept while its file is unchanged; nullptr with *error.
const Body* CachedBody(const std::string& path, std::string* error);

// The driver's text for a value of the property ("f/8", "1/250", "AUTO"); the number when the
// data gives no text.
std::string ValueText(const Property& p, const Value& v);
// The value a text names: a listed text, a number in the prefix/scale form, or a raw number
// ("0x..." or decimal). False when nothing fits or the value is outside the form.
bool ValueFromText(const Property& p, const std::string& text, Value* out);
// Whether the value is one the descriptor allows (in the enumeration, within the range).
bool Allowed(const Property& p, const Value& v);

// sim/ptp/bodies beside the profiles: <profile dir>/../ptp/bodies, or $CAMSIM_PTP_BODY_DIR.
std::string BodyDir(const std::string& profileDir);

}  // namespace ptp
}  // namespace camsim
