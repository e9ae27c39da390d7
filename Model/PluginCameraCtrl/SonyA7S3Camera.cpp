#include "SonyA7S3Camera.h"

SonyA7S3Camera::SonyA7S3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyA7S3Camera::~SonyA7S3Camera() = default;

int SonyA7S3Camera::GetCurrentMode(CameraParams& params) {
    return ReadProgram(params, Body::A7S3);
}

int SonyA7S3Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::A7S3);
}
