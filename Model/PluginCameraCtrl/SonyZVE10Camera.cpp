#include "SonyZVE10Camera.h"

SonyZVE10Camera::SonyZVE10Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyZVE10Camera::~SonyZVE10Camera() = default;

// Sent as given; the camera refuses what it does not offer.
int SonyZVE10Camera::SetIsoParam(std::string value) {
    return SetWidgetText("iso", value);
}

int SonyZVE10Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::ZVE10);
}
