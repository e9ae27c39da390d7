// Sony FX3 and FX3A: program code from "500e"; Bulb offered first. The FX3A cannot use some
// shutter entries in some programs (a rule only it has).
#pragma once

#include "SonyCamera.h"

class SonyFX3Camera : public SonyCamera {
  public:
    SonyFX3Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyFX3Camera() override;

  protected:
    bool OwnRule(List list, const std::string& mode, int position, const std::string& text) const override;
};
