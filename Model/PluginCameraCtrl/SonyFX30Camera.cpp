#include "SonyFX30Camera.h"

SonyFX30Camera::SonyFX30Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::FX30) {}

SonyFX30Camera::~SonyFX30Camera() = default;
