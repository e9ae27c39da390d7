#include "SonyA7M4Camera.h"

SonyA7M4Camera::SonyA7M4Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyA7M4Camera::~SonyA7M4Camera() = default;

int SonyA7M4Camera::GetCurrentMode(CameraParams& params) {
    return ReadProgram(params, Body::A7M4);
}

int SonyA7M4Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::A7M4);
}
