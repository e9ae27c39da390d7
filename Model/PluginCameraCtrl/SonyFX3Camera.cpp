#include "SonyFX3Camera.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "zrlog.h"

namespace {

// Shutter entries the FX3A does not offer while in these programs.
struct HiddenEntry {
    const char* entry;
    SonyCamera::Modes modes;
};

const HiddenEntry kFx3aHidden[] = {
    {"Bulb", {"S", "Unknown value 8090", "S&Q (S)", "S&Q (M)", "Movie (S)", "Movie (M)"}},
    {"0/0", {"M"}},
};

}  // namespace

SonyFX3Camera::SonyFX3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyFX3Camera::~SonyFX3Camera() = default;

// Bulb comes first; "0/0" stays where the camera lists it. No fallback list.
int SonyFX3Camera::GetShutterSpeedParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.shutterSpeed.clear();
    params.supportedShutterSpeed.clear();
    WidgetPtr widget;
    if (FetchWidget("shutterspeed", widget) != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget", "shutterspeed");
        return -1;
    }
    int status = ReadValue(widget.get(), params.shutterSpeed);
    std::vector<std::string>& list = params.supportedShutterSpeed;
    if (gp_widget_count_choices(widget.get()) >= 2) {
        ForEachChoice(widget.get(), [&](int, const char* text) {
            if (std::strcmp(text, "Bulb") == 0) {
                list.insert(list.begin(), text);
            } else if (*text != '\0') {
                list.push_back(text);
            }
        });
    }
    // The type this object was made for: the record's is written only when it is published,
    // after the first read, which would then offer the FX3A what it refuses.
    if (m_modelType == SonyFX3A) {
        for (const HiddenEntry& hidden : kFx3aHidden) {
            auto found = std::find(list.begin(), list.end(), hidden.entry);
            if (found != list.end() && InModes(params.mode, hidden.modes)) {
                list.erase(found);
            }
        }
    }
    return status;
}

int SonyFX3Camera::GetCurrentMode(CameraParams& params) {
    return ReadProgram(params, Body::FX3);
}

int SonyFX3Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::FX3);
}
