// libgphoto2's camera detection over every installed driver, run again only when the bus
// may have changed.
//
// gp_camera_autodetect loads every camera driver's model list, loads the port list and
// matches the two, on every call. Here:
//   - the model lists are loaded once: they are compiled into the installed camera drivers,
//     which do not change while the process runs;
//   - the port list and the cameras found on it are kept while DeviceChangeWatch reports no
//     change of what the port drivers read, and only when every listed port is one whose
//     changes it would report. Otherwise every call detects again, as gp_camera_autodetect.
#pragma once

#include <gphoto2/gphoto2-abilities-list.h>
#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-list.h>
#include <gphoto2/gphoto2-port-info-list.h>

#include <string>
#include <utility>
#include <vector>

#include "DeviceChangeWatch.h"

class CameraDetector {
  public:
    CameraDetector() = default;
    ~CameraDetector();
    CameraDetector(const CameraDetector&) = delete;
    CameraDetector& operator=(const CameraDetector&) = delete;

    // As gp_camera_autodetect: appends (model, port) of every camera found to list and
    // returns the number of entries in list, or a negative libgphoto2 error.
    int Detect(CameraList* list, GPContext* context);

    // Gives camera the model and port of the first camera the last detection found, which
    // gp_camera_init would pick by detecting once more. False (camera unchanged) without one.
    bool SelectFirst(Camera* camera) const;

  private:
    int DetectNow(GPContext* context);
    bool EveryPortCovered() const;

    DeviceChangeWatch m_watch;
    CameraAbilitiesList* m_abilities = nullptr;
    GPPortInfoList* m_ports = nullptr;                         // of the last detection
    std::vector<std::pair<std::string, std::string>> m_found;  // model and port, in detection order
    bool m_current = false;  // m_found still holds while the watch reports nothing
};
