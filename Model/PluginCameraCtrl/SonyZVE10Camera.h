// Sony ZV-E10: the generic exposure program; "Flash" only in the still programs.
#pragma once

#include "SonyCamera.h"

class SonyZVE10Camera : public SonyCamera {
  public:
    SonyZVE10Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyZVE10Camera() override;
};
