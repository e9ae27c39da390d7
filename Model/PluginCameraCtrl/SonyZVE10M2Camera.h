// Sony ZV-E10 II: program code from "500e", its own ISO set, no Bulb shutter.
#pragma once

#include "SonyCamera.h"

class SonyZVE10M2Camera : public SonyCamera {
  public:
    SonyZVE10M2Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyZVE10M2Camera() override;

    int SetIsoParam(std::string value) override;
    int GetShutterSpeedParam(CameraParams& params) override;
    int GetCurrentMode(CameraParams& params) override;
    int GetWhiteBalanceParam(CameraParams& params) override;
};
