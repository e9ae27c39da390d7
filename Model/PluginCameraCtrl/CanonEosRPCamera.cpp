#include "CanonEosRPCamera.h"

#include <strings.h>

#include "zrlog.h"

namespace {

const char kShutterWidget[] = "shutterspeed";
const char kIrisWidget[] = "aperture";

// The text sent for "Auto" by exposure program; in other programs "Auto" goes as it is. The
// driver names shutter priority "TV" (as the R6 II mode table does).
const AbstructCamera::TextRows kIrisAuto = {{"Fv", "Unknown value 00ff"}, {"TV", "implicit auto"}};

bool IsBulb(const std::string& text) {
    return strcasecmp(text.c_str(), "bulb") == 0;
}

}  // namespace

CanonEosRPCamera::CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type)
    : CanonEosCamera(camera, context, type, CanonEosBody::RP) {
    // A camera that refuses the card still gets an object; the log tells why.
    InitRecord();
}

CanonEosRPCamera::~CanonEosRPCamera() = default;

int CanonEosRPCamera::SetIrisParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    int ret = FetchWidget(kIrisWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(Lookup::WithResult, kIrisWidget, ret);
        return -1;
    }
    CameraParams scratch;
    GetCurrentMode(scratch);
    if (value == "Auto") {
        value = Mapped(kIrisAuto, scratch.mode, value);
    }
    return WriteWidget(kIrisWidget, widget.get(), value);
}

int CanonEosRPCamera::GetShutterSpeedParam(CameraParams& params) {
    Reading r;
    if (Read(kShutterWidget, Lookup::FocusWording, {&params.shutterSpeed, &params.supportedShutterSpeed},
             r) != 0) {
        return -1;
    }
    if (r.value.has) {
        params.shutterSpeed = IsBulb(r.value.text) ? "Auto" : r.value.text;
    }
    Strings& list = params.supportedShutterSpeed;
    for (const std::string& text : r.count >= 2 ? r.Texts() : Strings()) {
        if (IsBulb(text)) {
            list.insert(list.begin(), "Auto");
        } else {
            list.push_back(text);
        }
    }
    return r.value.status;
}

int CanonEosRPCamera::SetShutterSpeedParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, " ui set value.c_str() = %s", value.c_str());
    return SetWidgetText(kShutterWidget, value == "Auto" ? "bulb" : value);
}
