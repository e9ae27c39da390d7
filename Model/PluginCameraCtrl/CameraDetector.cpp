#include "CameraDetector.h"

#include <dlfcn.h>
#include <gphoto2/gphoto2-result.h>

#include <cstring>
#include <string>

namespace {

// gp_port_info_list_load appends its driver directory to libltdl's search path on every call
// and libltdl drops the path only when its last user exits. An open camera keeps libltdl in
// use, so each detection while connected lengthened the path by the directory's name (and
// copied all of it): memory that grew with every set the simulated camera saw, and with every
// pass that detects on a real one. The drivers are opened by their full paths, so the path
// is put back as it was. libltdl comes with libgphoto2_port; found at run time, it needs no
// headers of its own here.
class LtdlSearchPathKeeper {
  public:
    LtdlSearchPathKeeper()
        : m_get(reinterpret_cast<Get>(dlsym(RTLD_DEFAULT, "lt_dlgetsearchpath"))),
          m_set(reinterpret_cast<Set>(dlsym(RTLD_DEFAULT, "lt_dlsetsearchpath"))) {
        const char* path = m_get != nullptr && m_set != nullptr ? m_get() : nullptr;
        m_had = path != nullptr;
        if (m_had)
            m_path = path;
    }
    ~LtdlSearchPathKeeper() {
        if (m_set != nullptr && m_get != nullptr)
            m_set(m_had ? m_path.c_str() : nullptr);
    }
    LtdlSearchPathKeeper(const LtdlSearchPathKeeper&) = delete;
    LtdlSearchPathKeeper& operator=(const LtdlSearchPathKeeper&) = delete;

  private:
    using Get = const char* (*)();
    using Set = int (*)(const char*);
    Get m_get;
    Set m_set;
    bool m_had = false;
    std::string m_path;
};

}  // namespace

CameraDetector::~CameraDetector() {
    if (m_ports != nullptr)
        gp_port_info_list_free(m_ports);
    if (m_abilities != nullptr)
        gp_abilities_list_free(m_abilities);
}

int CameraDetector::Detect(CameraList* list, GPContext* context) {
    if (list == nullptr)
        return GP_ERROR_BAD_PARAMETERS;
    // Always read the watch, so that what it reports now is not taken for a later change.
    bool changed = m_watch.Changed();
    if (changed || !m_current) {
        m_current = false;
        // Armed before detecting: a change during the detection is reported next time.
        bool armed = m_watch.Arm();
        int result = DetectNow(context);
        if (result < GP_OK)
            return result;
        m_current = armed && EveryPortCovered();
    }
    for (const auto& camera : m_found) {
        // gp_camera_autodetect leaves out the bare "usb:" entry.
        if (camera.second != "usb:")
            gp_list_append(list, camera.first.c_str(), camera.second.c_str());
    }
    return gp_list_count(list);
}

int CameraDetector::DetectNow(GPContext* context) {
    m_found.clear();
    if (m_abilities == nullptr) {
        CameraAbilitiesList* abilities = nullptr;
        int result = gp_abilities_list_new(&abilities);
        if (result >= GP_OK)
            result = gp_abilities_list_load(abilities, context);
        if (result < GP_OK) {
            if (abilities != nullptr)
                gp_abilities_list_free(abilities);
            return result;
        }
        m_abilities = abilities;
    }
    if (m_ports != nullptr) {
        gp_port_info_list_free(m_ports);
        m_ports = nullptr;
    }
    GPPortInfoList* ports = nullptr;
    int result = gp_port_info_list_new(&ports);
    if (result >= GP_OK) {
        LtdlSearchPathKeeper keep;
        result = gp_port_info_list_load(ports);
    }
    if (result >= GP_OK)
        result = gp_port_info_list_count(ports);
    if (result < GP_OK) {
        if (ports != nullptr)
            gp_port_info_list_free(ports);
        return result;
    }
    m_ports = ports;

    CameraList* found = nullptr;
    result = gp_list_new(&found);
    if (result < GP_OK)
        return result;
    result = gp_abilities_list_detect(m_abilities, m_ports, found, context);
    int count = result < GP_OK ? 0 : gp_list_count(found);
    for (int i = 0; i < count; ++i) {
        const char* model = nullptr;
        const char* port = nullptr;
        gp_list_get_name(found, i, &model);
        gp_list_get_value(found, i, &port);
        m_found.emplace_back(model != nullptr ? model : "", port != nullptr ? port : "");
    }
    gp_list_unref(found);
    return result < GP_OK ? result : GP_OK;
}

bool CameraDetector::EveryPortCovered() const {
    int count = gp_port_info_list_count(m_ports);
    for (int i = 0; i < count; ++i) {
        GPPortInfo info = nullptr;
        GPPortType type = GP_PORT_NONE;
        char* path = nullptr;
        if (gp_port_info_list_get_info(m_ports, i, &info) < GP_OK ||
            gp_port_info_get_type(info, &type) < GP_OK || gp_port_info_get_path(info, &path) < GP_OK ||
            path == nullptr) {
            return false;
        }
        if (!m_watch.Covers(type, path))
            return false;
    }
    return count >= 0;
}

bool CameraDetector::SelectFirst(Camera* camera) const {
    if (camera == nullptr || m_found.empty() || m_abilities == nullptr || m_ports == nullptr)
        return false;
    // gp_camera_init takes the first entry of the detection, "usb:" or not.
    const auto& first = m_found.front();
    CameraAbilities abilities;
    std::memset(&abilities, 0, sizeof(abilities));
    int model = gp_abilities_list_lookup_model(m_abilities, first.first.c_str());
    if (model < GP_OK || gp_abilities_list_get_abilities(m_abilities, model, &abilities) < GP_OK)
        return false;
    int port = gp_port_info_list_lookup_path(m_ports, first.second.c_str());
    GPPortInfo info = nullptr;
    if (port < GP_OK || gp_port_info_list_get_info(m_ports, port, &info) < GP_OK)
        return false;
    if (gp_camera_set_abilities(camera, abilities) < GP_OK)
        return false;
    if (gp_camera_set_port_info(camera, info) < GP_OK) {
        // Without a model gp_camera_init detects by itself again.
        std::memset(&abilities, 0, sizeof(abilities));
        gp_camera_set_abilities(camera, abilities);
        return false;
    }
    return true;
}
