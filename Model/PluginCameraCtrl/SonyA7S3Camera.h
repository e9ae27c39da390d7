// Sony Alpha A7S III: exposure program from the whole "500e" value text.
#pragma once

#include "SonyCamera.h"

class SonyA7S3Camera : public SonyCamera {
  public:
    SonyA7S3Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyA7S3Camera() override;
};
