#include "SonyA7S3Camera.h"

SonyA7S3Camera::SonyA7S3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::A7S3) {}

SonyA7S3Camera::~SonyA7S3Camera() = default;
