// Sony Alpha A7 III: lists filtered by choice position and exposure program (rules only it has),
// the focus list in its own order, and a shutter set confirmed by reading it back.
#pragma once

#include "SonyCamera.h"

class SonyA7M3Camera : public SonyCamera {
  public:
    SonyA7M3Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyA7M3Camera() override;

    int GetFocusModeParam(CameraParams& params) override;
    int GetIsoParam(CameraParams& params) override;
    int SetShutterSpeedParam(std::string value) override;

  protected:
    bool OwnRule(List list, const std::string& mode, int position, const std::string& text) const override;
};
