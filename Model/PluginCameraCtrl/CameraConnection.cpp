#include "CameraConnection.h"

#include <gphoto2/gphoto2-abilities-list.h>
#include <gphoto2/gphoto2-list.h>
#include <gphoto2/gphoto2-result.h>

#include <cstring>

#include "zrlog.h"

namespace {

struct ReleaseList {
    void operator()(CameraList* list) const { gp_list_unref(list); }
};

}  // namespace

CameraConnection::CameraConnection() : m_camera(nullptr, ReleaseCamera{nullptr}) {}

CameraConnection::~CameraConnection() = default;

void CameraConnection::ReleaseCamera::operator()(Camera* camera) const {
    if (context != nullptr) {
        gp_camera_exit(camera, context);
    }
    gp_camera_free(camera);
}

int CameraConnection::Open(CameraDetector& detector, CameraFactory& factory) {
    m_context.reset(gp_context_new());
    if (!m_context) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_context_new, no memroy");
        return -1;
    }
    Camera* camera = nullptr;
    int result = gp_camera_new(&camera);
    m_camera = std::unique_ptr<Camera, ReleaseCamera>(camera, ReleaseCamera{m_context.get()});
    if (result < GP_OK || camera == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_new, no memory, ret : %d", result);
        return result < GP_OK ? result : -1;
    }
    CameraList* found = nullptr;
    if (gp_list_new(&found) < GP_OK || found == nullptr) {
        return -1;
    }
    std::unique_ptr<CameraList, ReleaseList> list(found);
    result = detector.Detect(list.get(), Context());
    if (result < GP_OK || gp_list_count(list.get()) <= 0) {
        return -1;
    }
    // The first access opens the first detected camera. Naming it from the detection just made
    // spares gp_camera_init detecting it again over every driver.
    detector.SelectFirst(camera);
    CameraWidget* config = nullptr;
    result = gp_camera_get_config(camera, &config, Context());
    m_config.reset(config);
    if (result < GP_OK || config == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_config, ret : %d", result);
        return result < GP_OK ? result : -1;
    }
    CameraAbilities abilities;
    std::memset(&abilities, 0, sizeof(abilities));
    gp_camera_get_abilities(camera, &abilities);
    ROOT_LOG(ZR_LOG_INFO, "##### Camera mode : %s   #############", abilities.model);
    m_model = factory.CreateCamera(abilities.model, camera, Context());
    return GP_OK;
}
