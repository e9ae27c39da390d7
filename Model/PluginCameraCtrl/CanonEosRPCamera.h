// Canon EOS RP: the shared Canon steps with the RP's column, its own shutter speed, whose
// "bulb" the host sees as "Auto", and its own iris writer: automatic aperture has a different
// driver text per exposure program.
#pragma once

#include "CanonEosCamera.h"

class CanonEosRPCamera : public CanonEosCamera {
  public:
    CanonEosRPCamera(_Camera* camera, _GPContext* context, CameraType type);
    ~CanonEosRPCamera() override;

    using CanonEosCamera::InitRecord;

    int SetIrisParam(std::string value) override;
    int GetShutterSpeedParam(CameraParams& params) override;
    int SetShutterSpeedParam(std::string value) override;
};
