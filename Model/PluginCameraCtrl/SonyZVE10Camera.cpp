#include "SonyZVE10Camera.h"

SonyZVE10Camera::SonyZVE10Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::ZVE10) {}

SonyZVE10Camera::~SonyZVE10Camera() = default;
