// Sony FX3 and FX3A: program code from "500e"; Bulb offered first. The FX3A has list rules
// of its own (shutter entries it cannot use in some programs).
#pragma once

#include "SonyCamera.h"

class SonyFX3Camera : public SonyCamera {
  public:
    SonyFX3Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyFX3Camera() override;

    int GetShutterSpeedParam(CameraParams& params) override;
};
