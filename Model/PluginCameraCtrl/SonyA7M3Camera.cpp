#include "SonyA7M3Camera.h"

#include <unistd.h>

#include "zrlog.h"

namespace {

// The camera offers its focus modes at fixed positions: 0 manual, 1 single AF, 2..4
// model-specific; positions 5 and later are never listed. They are listed in this order.
const int kFocusOrder[] = {1, 3, 2, 4, 0};
const int kFocusPositions = 5;

}  // namespace

SonyA7M3Camera::SonyA7M3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::A7M3) {}

SonyA7M3Camera::~SonyA7M3Camera() = default;

int SonyA7M3Camera::GetFocusModeParam(CameraParams& params) {
    Reading r;
    if (Read("focusmode", Lookup::Plain, {&params.focusMode, &params.supportedFocusMode}, r) != 0) {
        return -1;
    }
    if (r.HasText()) {
        if (r.value.text == "Undefined") {
            return -1;
        }
        params.focusMode = Mapped(FocusNames(), r.value.text);
    }
    std::string entries[kFocusPositions];
    for (const auto& choice : r.choices) {
        const int i = choice.first;
        if (i < kFocusPositions && !choice.second.empty() &&
            !LeftOut(List::Focus, params.mode, i, choice.second)) {
            entries[i] = i == 0 ? "MF" : i == 1 ? "AF-S" : choice.second;
        }
    }
    for (int position : kFocusOrder) {
        if (!entries[position].empty()) {
            params.supportedFocusMode.push_back(entries[position]);
        }
    }
    return r.value.status;
}

int SonyA7M3Camera::GetIsoParam(CameraParams& params) {
    Reading r;
    if (Read("iso", Lookup::NamedIso, {&params.iso, &params.supportedIso}, r) != 0) {
        return -1;
    }
    if (r.HasText()) {
        params.iso = r.value.text;
    }
    for (const auto& choice : r.choices) {
        if (!choice.second.empty() && !LeftOut(List::Iso, params.mode, choice.first, choice.second)) {
            params.supportedIso.push_back(choice.second);
        }
    }
    return r.value.status;
}

int SonyA7M3Camera::GetShutterSpeedParam(CameraParams& params) {
    Reading r;
    if (Read("shutterspeed", Lookup::WithResult, {&params.shutterSpeed, &params.supportedShutterSpeed}, r) !=
        0) {
        return -1;
    }
    if (r.HasText()) {
        params.shutterSpeed = r.value.text;
    }
    Strings& list = params.supportedShutterSpeed;
    if (r.count < 2) {
        list = FixedShutterList();
    }
    for (const auto& choice : r.choices) {
        if (r.count >= 2 && !choice.second.empty() &&
            !LeftOut(List::Shutter, params.mode, choice.first, choice.second)) {
            list.push_back(choice.second);
        }
    }
    ApplyBulbRule(list, params.mode);
    return r.value.status;
}

int SonyA7M3Camera::SetShutterSpeedParam(std::string value) {
    if (SetWidgetText("shutterspeed", value, Lookup::WithResult) != 0) {
        return -1;
    }
    // The camera needs a moment to apply the speed; the set counts only when it reports the
    // requested value back.
    usleep(100 * 1000);
    WidgetPtr widget;
    WidgetText readBack;
    if (FetchWidget("shutterspeed", widget) == GP_OK) {
        readBack = ReadText(widget.get());
    }
    if (!readBack.has || readBack.text.empty() || readBack.text != value) {
        LogLookupFailure(Lookup::Plain, "shutterspeed", 0);
        return -1;
    }
    return 0;
}
