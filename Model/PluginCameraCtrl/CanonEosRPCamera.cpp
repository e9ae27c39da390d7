#include "CanonEosRPCamera.h"

#include <strings.h>

#include "zrlog.h"

namespace {

const char kShutterWidget[] = "shutterspeed";

bool IsBulb(const char* text) {
    return strcasecmp(text, "bulb") == 0;
}

}  // namespace

CanonEosRPCamera::CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type)
    : CanonEosCamera(camera, context, type, CanonEosBody::RP) {
    // A camera that refuses the card still gets an object; the log tells why.
    InitRecord();
}

CanonEosRPCamera::~CanonEosRPCamera() = default;

int CanonEosRPCamera::GetShutterSpeedParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.shutterSpeed.clear();
    params.supportedShutterSpeed.clear();
    WidgetPtr widget;
    int ret = FetchWidget(kShutterWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(LookupFailure::FocusWording, kShutterWidget, ret);
        return -1;
    }
    WidgetText value = ReadText(widget.get());
    if (value.has) {
        params.shutterSpeed = IsBulb(value.text.c_str()) ? "Auto" : value.text;
    }
    std::vector<std::string>& list = params.supportedShutterSpeed;
    if (gp_widget_count_choices(widget.get()) >= 2) {
        ForEachChoice(widget.get(), [&](int, const char* text) {
            if (IsBulb(text)) {
                list.insert(list.begin(), "Auto");
            } else {
                list.push_back(text);
            }
        });
    }
    return value.status;
}

int CanonEosRPCamera::SetShutterSpeedParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, " ui set value.c_str() = %s", value.c_str());
    return SetWidgetText(kShutterWidget, value == "Auto" ? "bulb" : value);
}
