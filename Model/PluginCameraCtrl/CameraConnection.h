// One open camera: the libgphoto2 context, camera and configuration, and the model object that
// borrows them. Each is owned here and released in the reverse order of opening, so the model
// object never outlives the handles it uses.
#pragma once

#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-context.h>
#include <gphoto2/gphoto2-widget.h>

#include <memory>

#include "AbstructCamera.h"
#include "CameraDetector.h"
#include "CameraFactory.h"

class CameraConnection {
  public:
    CameraConnection();
    ~CameraConnection();
    CameraConnection(const CameraConnection&) = delete;
    CameraConnection& operator=(const CameraConnection&) = delete;

    // Opens the first camera the detector finds and makes its model object (none for a model
    // without class). GP_OK, or the failing step's result: the caller then drops the connection.
    int Open(CameraDetector& detector, CameraFactory& factory);

    GPContext* Context() const { return m_context.get(); }
    Camera* GpCamera() const { return m_camera.get(); }
    // Null for a model without class.
    AbstructCamera* Model() const { return m_model.get(); }

  private:
    struct ReleaseContext {
        void operator()(GPContext* context) const { gp_context_unref(context); }
    };
    struct ReleaseCamera {
        GPContext* context;
        void operator()(Camera* camera) const;
    };
    struct ReleaseConfig {
        void operator()(CameraWidget* config) const { gp_widget_free(config); }
    };

    // Declared in the order of opening: destroyed in reverse.
    std::unique_ptr<GPContext, ReleaseContext> m_context;
    std::unique_ptr<Camera, ReleaseCamera> m_camera;
    std::unique_ptr<CameraWidget, ReleaseConfig> m_config;
    std::unique_ptr<AbstructCamera> m_model;
};
