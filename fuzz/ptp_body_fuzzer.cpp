// A body's PTP data from any bytes: refused with a reason, or loaded into a body whose
// device info and property descriptors pack and unpack to what the data said, and whose
// every value text names a value again.
#include <gphoto2/gphoto2-port-result.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Body.h"
#include "StandardOperations.h"

namespace {

using camsim::ptp::Property;
using camsim::ptp::Value;

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "ptp_body_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

// A descriptor on the wire reads back as the property it was packed from.
void CheckDescriptor(const Property& p) {
    camsim::ptp::Packer out;
    camsim::ptp::StandardOperations::PackPropDesc(out, p, p.current);
    camsim::ptp::Unpacker in(out.Data());
    uint16_t code = 0, type = 0;
    uint8_t getset = 0, form = 0;
    Value factory, current;
    if (!in.U16(&code) || !in.U16(&type) || !in.U8(&getset) || !in.Typed(type, &factory) ||
        !in.Typed(type, &current) || !in.U8(&form))
        Fail("a descriptor does not unpack", camsim::ptp::HexCode(p.code));
    // Strings are cut at 254 characters on the wire; numbers must come back as they were.
    if (code != p.code || type != p.type || (p.type != camsim::ptp::kString && current != p.current))
        Fail("a descriptor changed on the wire", camsim::ptp::HexCode(p.code));
    if (form == 2) {
        uint16_t count = 0;
        if (!in.U16(&count) || count != p.values.size())
            Fail("an enumeration lost values", camsim::ptp::HexCode(p.code));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded())
        return 0;
    camsim::ptp::Body body;
    std::string error;
    int rc = camsim::ptp::BodyFromJson(j, "fuzz.json", &body, &error);
    if (rc != GP_OK) {
        if (error.empty())
            Fail("a refused body without a reason", std::to_string(rc));
        return 0;
    }
    std::vector<uint8_t> info = camsim::ptp::StandardOperations::PackDeviceInfo(body);
    if (info.size() < 8)
        Fail("device info too short", std::to_string(info.size()));
    for (const Property& p : body.properties) {
        CheckDescriptor(p);
        for (size_t i = 0; i < p.values.size(); ++i) {
            std::string shown = camsim::ptp::ValueText(p, p.values[i]);
            Value again;
            if (camsim::ptp::ValueFromText(p, shown, &again) && camsim::ptp::ValueText(p, again) != shown)
                Fail("a value's text names another text", shown);
        }
    }
    return 0;
}
