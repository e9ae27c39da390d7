// Canon EOS R6 Mark II: the shared Canon steps with the R6 II's tables, and its
// own touch focus on the driver's 600 x 400 target space.
#pragma once

#include "CanonEosCamera.h"
#include "XPointRangeMap.h"

class CanonEosR6M2Camera : public CanonEosCamera {
  public:
    CanonEosR6M2Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~CanonEosR6M2Camera() override;

    using CanonEosCamera::TouchFocus;
    int TouchFocus(int point) override;
    // One point of the target space, written with the movie-mode flag.
    virtual int TouchFocus(float x, float y);

  private:
    int m_targetWidth;
    int m_targetHeight;
    int m_isVideoMode = 0;
    XPointRangeMap m_touchDiffMap;
};
