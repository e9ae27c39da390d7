// Turns the model string the driver reports into a CameraType and a camera object.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "AbstructCamera.h"

class CameraFactory {
  public:
    CameraFactory();
    virtual ~CameraFactory();

    // Empty when the model is unknown or null; the handles stay the caller's.
    std::unique_ptr<AbstructCamera> CreateCamera(const char* model, _Camera* camera, _GPContext* context);

  private:
    // The object for a model type; empty for a type without a class. Logs nothing.
    static std::unique_ptr<AbstructCamera> CreateCameraOfType(CameraType type, _Camera* camera,
                                                              _GPContext* context);

    std::map<std::string, CameraType> m_modelTable;
};
