#include "SonyFX3Camera.h"

namespace {

const SonyCamera::Modes kFx3aNoBulb = {"S",       "Unknown value 8090", "S&Q (S)",
                                       "S&Q (M)", "Movie (S)",          "Movie (M)"};

}  // namespace

// The type the object was made for picks the row: the record's is written only when it is
// published, after the first read, which would then offer the FX3A what it refuses.
SonyFX3Camera::SonyFX3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, type == SonyFX3A ? Body::FX3A : Body::FX3) {}

SonyFX3Camera::~SonyFX3Camera() = default;

bool SonyFX3Camera::OwnRule(List list, const std::string& mode, int, const std::string& text) const {
    if (m_body != Body::FX3A || list != List::Shutter) {
        return false;
    }
    return (text == "Bulb" && InModes(mode, kFx3aNoBulb)) || (text == "0/0" && mode == "M");
}
