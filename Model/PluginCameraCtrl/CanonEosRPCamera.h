// Canon EOS RP: the shared Canon steps with the RP's tables, and its own shutter
// speed, whose "bulb" the host sees as "Auto".
#pragma once

#include "CanonEosCamera.h"

class CanonEosRPCamera : public CanonEosCamera {
  public:
    CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type);
    ~CanonEosRPCamera() override;

    using CanonEosCamera::InitRecord;

    int GetShutterSpeedParam(CameraParams& params) override;
    int SetShutterSpeedParam(std::string value) override;
};
