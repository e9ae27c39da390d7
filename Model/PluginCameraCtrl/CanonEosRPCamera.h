// Canon EOS RP: the shared Canon steps with the RP's column; its "Auto" shutter speed is the
// driver's "bulb".
#pragma once

#include "CanonEosCamera.h"

class CanonEosRPCamera : public CanonEosCamera {
  public:
    CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type);
    ~CanonEosRPCamera() override;

    using CanonEosCamera::InitRecord;

    int SetShutterSpeedParam(std::string value) override;
};
