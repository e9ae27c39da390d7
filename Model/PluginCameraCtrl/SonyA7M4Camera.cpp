#include "SonyA7M4Camera.h"

SonyA7M4Camera::SonyA7M4Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::A7M4) {}

SonyA7M4Camera::~SonyA7M4Camera() = default;
