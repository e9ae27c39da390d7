#include "SonyZVE10M2Camera.h"

SonyZVE10M2Camera::SonyZVE10M2Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::ZVE10M2) {}

SonyZVE10M2Camera::~SonyZVE10M2Camera() = default;

// No fallback list; a failed lookup leaves the record's lists.
int SonyZVE10M2Camera::GetShutterSpeedParam(CameraParams& params) {
    Reading r;
    Fields fields{&params.shutterSpeed, &params.supportedShutterSpeed, Clear::AfterLookup};
    if (Read("shutterspeed", Lookup::NamedWithResult, fields, r) != 0) {
        return -1;
    }
    if (r.HasText()) {
        params.shutterSpeed = r.value.text;
    }
    for (const auto& choice : r.choices) {
        if (r.count >= 2 && !choice.second.empty() &&
            !LeftOut(List::Shutter, params.mode, choice.first, choice.second)) {
            params.supportedShutterSpeed.push_back(choice.second);
        }
    }
    return 0;
}
