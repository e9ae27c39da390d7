#include "SonyFX30Camera.h"

SonyFX30Camera::SonyFX30Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyFX30Camera::~SonyFX30Camera() = default;

int SonyFX30Camera::GetCurrentMode(CameraParams& params) {
    return ReadProgram(params, Body::FX30);
}

int SonyFX30Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::FX30);
}
