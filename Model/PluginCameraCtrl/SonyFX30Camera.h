// Sony FX30: program code from "500e"; no "Flash" white balance.
#pragma once

#include "SonyCamera.h"

class SonyFX30Camera : public SonyCamera {
  public:
    SonyFX30Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyFX30Camera() override;
};
