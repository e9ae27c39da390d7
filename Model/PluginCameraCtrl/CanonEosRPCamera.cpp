#include "CanonEosRPCamera.h"

#include "zrlog.h"

CanonEosRPCamera::CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type)
    : CanonEosCamera(camera, context, type, CanonEosBody::RP) {
    // A camera that refuses the card still gets an object; the log tells why.
    InitRecord();
}

CanonEosRPCamera::~CanonEosRPCamera() = default;

int CanonEosRPCamera::SetShutterSpeedParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, " ui set value.c_str() = %s", value.c_str());
    return SetWidget({"shutterspeed"}, value == "Auto" ? "bulb" : value);
}
