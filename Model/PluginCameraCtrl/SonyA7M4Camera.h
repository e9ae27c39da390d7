// Sony Alpha A7 IV: exposure program from the whole "500e" value text.
#pragma once

#include "SonyCamera.h"

class SonyA7M4Camera : public SonyCamera {
  public:
    SonyA7M4Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~SonyA7M4Camera() override;
};
