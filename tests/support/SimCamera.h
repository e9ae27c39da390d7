// A simulated camera in a private state directory, opened through the real libgphoto2.
#pragma once

#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-context.h>

#include <string>

#include "CamSim.h"
#include "SimTestDir.h"

class SimCamera {
  public:
    explicit SimCamera(const std::string& profile) : m_sim(m_dir.Path()), m_plugResult(m_sim.Plug(profile)) {
        gp_camera_new(&m_camera);
        m_initResult = gp_camera_init(m_camera, m_context);
    }
    ~SimCamera() {
        gp_camera_exit(m_camera, m_context);
        gp_camera_free(m_camera);
        gp_context_unref(m_context);
    }
    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    // 0 when the profile was plugged and libgphoto2 opened the camera.
    int Status() const { return m_plugResult != 0 ? m_plugResult : m_initResult; }
    camsim::Simulator& Sim() { return m_sim; }
    Camera* GpCamera() const { return m_camera; }
    GPContext* Context() const { return m_context; }

  private:
    camsim::SimTestDir m_dir;
    camsim::Simulator m_sim;
    int m_plugResult = 0;
    int m_initResult = 0;
    GPContext* m_context = gp_context_new();
    Camera* m_camera = nullptr;
};
