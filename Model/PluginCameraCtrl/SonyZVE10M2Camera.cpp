#include "SonyZVE10M2Camera.h"

#include <strings.h>

#include <cstring>

#include "zrlog.h"

SonyZVE10M2Camera::SonyZVE10M2Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyZVE10M2Camera::~SonyZVE10M2Camera() = default;

// Sent as given; the camera refuses what it does not offer.
int SonyZVE10M2Camera::SetIsoParam(std::string value) {
    return SetWidgetText("iso", value);
}

// Neither Bulb nor "0/0" is offered, in any program, and there is no fallback list.
int SonyZVE10M2Camera::GetShutterSpeedParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    int ret = FetchWidget("shutterspeed", widget);
    if (ret != GP_OK) {
        // The record keeps the previous lists.
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget, ret : %#X",
                 "shutterspeed", ret);
        return -1;
    }
    params.shutterSpeed.clear();
    params.supportedShutterSpeed.clear();
    ReadValue(widget.get(), params.shutterSpeed);
    if (gp_widget_count_choices(widget.get()) >= 2) {
        ForEachChoice(widget.get(), [&](int, const char* text) {
            if (*text != '\0' && std::strcmp(text, "0/0") != 0 && strcasecmp(text, "Bulb") != 0) {
                params.supportedShutterSpeed.push_back(text);
            }
        });
    }
    return 0;
}

int SonyZVE10M2Camera::GetCurrentMode(CameraParams& params) {
    return ReadProgram(params, Body::ZVE10M2);
}

int SonyZVE10M2Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::ZVE10M2);
}
