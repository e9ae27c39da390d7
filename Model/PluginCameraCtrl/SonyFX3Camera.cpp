#include "SonyFX3Camera.h"

// The type the object was made for picks the rules: the record's is written only when it is
// published, after the first read, which would then offer the FX3A what it refuses.
SonyFX3Camera::SonyFX3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, type == SonyFX3A ? Body::FX3A : Body::FX3) {}

SonyFX3Camera::~SonyFX3Camera() = default;

// Bulb comes first; "0/0" stays where the camera lists it. No fallback list.
int SonyFX3Camera::GetShutterSpeedParam(CameraParams& params) {
    Reading r;
    if (Read("shutterspeed", Lookup::Named, {&params.shutterSpeed, &params.supportedShutterSpeed}, r) != 0) {
        return -1;
    }
    if (r.HasText()) {
        params.shutterSpeed = r.value.text;
    }
    Strings& list = params.supportedShutterSpeed;
    for (const auto& choice : r.choices) {
        const std::string& text = choice.second;
        if (r.count < 2 || text.empty() || LeftOut(List::Shutter, params.mode, choice.first, text)) {
            continue;
        }
        list.insert(text == "Bulb" ? list.begin() : list.end(), text);
    }
    return r.value.status;
}
