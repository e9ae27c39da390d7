// Sony ZV-E10 II: program code from "500e"; neither Bulb nor "0/0" is offered.
#pragma once

#include "SonyCamera.h"

class SonyZVE10M2Camera : public SonyCamera {
  public:
    SonyZVE10M2Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyZVE10M2Camera() override;
};
