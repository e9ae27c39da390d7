// Sony ZV-E10: the generic exposure program, its own ISO set and flash rule.
#pragma once

#include "SonyCamera.h"

class SonyZVE10Camera : public SonyCamera {
  public:
    SonyZVE10Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyZVE10Camera() override;

    int SetIsoParam(std::string value) override;
    int GetWhiteBalanceParam(CameraParams& params) override;
};
