#include "SetRequest.h"

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

}  // namespace tools
