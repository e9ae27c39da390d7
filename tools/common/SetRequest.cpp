#include "SetRequest.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tools {

const TextSetting kTextSettings[5] = {
    {"focus", CAMERA_SET_FOCUS_MODE_EVENT}, {"iso", CAMERA_SET_ISO_EVENT},
    {"iris", CAMERA_SET_IRIS_EVENT},        {"shutter", CAMERA_SET_SHUTTER_SPEED_EVENT},
    {"wb", CAMERA_SET_WHITE_BALANCE_EVENT},
};

const TextSetting* FindTextSetting(const std::string& name) {
    for (const TextSetting& s : kTextSettings) {
        if (name == s.name)
            return &s;
    }
    return nullptr;
}

std::string TextSettingNames() {
    std::string out;
    for (const TextSetting& s : kTextSettings) {
        if (!out.empty())
            out += ", ";
        out += s.name;
    }
    return out;
}

RequestPayload MakePayload(const std::string& text) {
    RequestPayload payload{};
    std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size() - 1));
    return payload;
}

int PackTouchPoint(int horizontal, int vertical) {
    uint32_t bits = (static_cast<uint32_t>(static_cast<uint16_t>(horizontal)) << 16) |
                    static_cast<uint32_t>(static_cast<uint16_t>(vertical));
    return static_cast<int>(bits);
}

}  // namespace tools
