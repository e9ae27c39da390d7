#include "CanonEosR6Camera.h"

CanonEosR6Camera::CanonEosR6Camera(_Camera* camera, _GPContext* context, CameraType type)
    : CanonEosCamera(camera, context, type, CanonEosBody::R6) {
    // A camera that refuses the card still gets an object; the log tells why.
    InitRecord();
}

CanonEosR6Camera::~CanonEosR6Camera() = default;
