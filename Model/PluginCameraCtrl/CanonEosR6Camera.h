// Canon EOS R6: the shared Canon steps with the R6's tables.
#pragma once

#include "CanonEosCamera.h"

class CanonEosR6Camera : public CanonEosCamera {
  public:
    CanonEosR6Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~CanonEosR6Camera() override;

    using CanonEosCamera::InitRecord;
};
