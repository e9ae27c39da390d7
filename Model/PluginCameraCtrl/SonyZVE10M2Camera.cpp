#include "SonyZVE10M2Camera.h"

SonyZVE10M2Camera::SonyZVE10M2Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::ZVE10M2) {}

SonyZVE10M2Camera::~SonyZVE10M2Camera() = default;
