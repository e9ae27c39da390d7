#include "SonyA7M3Camera.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <utility>

#include "zrlog.h"

namespace {

using Group = SonyCamera::Modes;

// Exposure-program texts of the driver's "expprogram" widget, by group.
const Group& kStillGroup = SonyCamera::kStillModes;
const Group& kMovieGroup = SonyCamera::kExpprogramMovieModes;
const Group& kSlowQuickGroup = SonyCamera::kExpprogramSlowQuickModes;
const Group kSceneGroup = {"Portrait", "Macro", "Landscape", "Sunset", "Night Scene", "Night Portrait"};
const Group kSportsGroup = {"Sports Action"};

// Choice positions a list leaves out while the camera is in one of `groups`.
struct PositionRule {
    std::initializer_list<const Group*> groups;
    std::initializer_list<std::pair<int, int>> skipped;  // inclusive ranges
};

bool Skipped(const std::initializer_list<PositionRule>& rules, const std::string& mode, int position,
             std::initializer_list<std::pair<int, int>> otherwise = {}) {
    for (const PositionRule& rule : rules) {
        if (std::any_of(rule.groups.begin(), rule.groups.end(),
                        [&](const Group* g) { return SonyCamera::InModes(mode, *g); })) {
            return std::any_of(rule.skipped.begin(), rule.skipped.end(), [&](const std::pair<int, int>& r) {
                return r.first <= position && position <= r.second;
            });
        }
    }
    return std::any_of(otherwise.begin(), otherwise.end(), [&](const std::pair<int, int>& r) {
        return r.first <= position && position <= r.second;
    });
}

// The camera offers its focus modes at fixed positions: 0 manual, 1 single AF,
// 2..4 model-specific; positions 5 and later are never listed.
const std::initializer_list<PositionRule> kFocusRules = {
    {{&kSportsGroup}, {{1, 1}, {3, 3}}},
    {{&kSceneGroup}, {{2, 3}}},
    {{&kMovieGroup, &kSlowQuickGroup}, {{1, 1}, {3, 4}}},
};
const int kFocusOrder[] = {1, 3, 2, 4, 0};

const std::initializer_list<PositionRule> kIsoRules = {
    {{&kMovieGroup, &kSlowQuickGroup}, {{1, 4}, {36, INT_MAX}}},
};
const std::initializer_list<std::pair<int, int>> kIsoStillSkipped = {{1, 1}, {39, INT_MAX}};

const std::initializer_list<PositionRule> kShutterRules = {
    {{&kStillGroup}, {{55, 60}}},
    {{&kMovieGroup}, {{INT_MIN, 20}, {55, 60}}},
    {{&kSlowQuickGroup}, {{INT_MIN, 32}, {55, 60}}},
};

const char kLookupFailed[] = "Failed to gp_camera_get_single_config to get widget";
const char kLookupFailedRet[] = "Failed to gp_camera_get_single_config to get widget, ret : %#X";

}  // namespace

SonyA7M3Camera::SonyA7M3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type) {}

SonyA7M3Camera::~SonyA7M3Camera() = default;

int SonyA7M3Camera::GetFocusModeParam(CameraParams& params) {
    params.focusMode.clear();
    params.supportedFocusMode.clear();
    WidgetPtr widget;
    if (FetchWidget("focusmode", widget) != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, "%s", kLookupFailed);
        return -1;
    }
    WidgetText value = ReadText(widget.get());
    if (value.has && !value.text.empty()) {
        if (value.text == "Undefined") {
            return -1;
        }
        params.focusMode = value.text == "Manual" ? "MF" : value.text == "Automatic" ? "AF-S" : value.text;
    }
    std::string entries[5];
    ForEachChoice(widget.get(), [&](int i, const char* text) {
        if (i < 5 && !Skipped(kFocusRules, params.mode, i) && *text != '\0') {
            entries[i] = i == 0 ? "MF" : i == 1 ? "AF-S" : text;
        }
    });
    for (int position : kFocusOrder) {
        if (!entries[position].empty()) {
            params.supportedFocusMode.push_back(entries[position]);
        }
    }
    return value.status;
}

int SonyA7M3Camera::GetIsoParam(CameraParams& params) {
    params.iso.clear();
    params.supportedIso.clear();
    WidgetPtr widget;
    if (FetchWidget("iso", widget) != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config get %s widget", "iso");
        return -1;
    }
    int status = ReadValue(widget.get(), params.iso);
    ForEachChoice(widget.get(), [&](int i, const char* text) {
        if (*text != '\0' && !Skipped(kIsoRules, params.mode, i, kIsoStillSkipped)) {
            params.supportedIso.push_back(text);
        }
    });
    return status;
}

int SonyA7M3Camera::SetIrisParam(std::string value) {
    WidgetPtr widget;
    int ret = FetchWidget("f-number", widget);
    if (ret != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget, ret : %#X", "f-number",
                 ret);
        return -1;
    }
    return WriteWidget("f-number", widget.get(), value);
}

int SonyA7M3Camera::GetShutterSpeedParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.shutterSpeed.clear();
    params.supportedShutterSpeed.clear();
    WidgetPtr widget;
    int ret = FetchWidget("shutterspeed", widget);
    if (ret != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, kLookupFailedRet, ret);
        return -1;
    }
    int status = ReadValue(widget.get(), params.shutterSpeed);
    std::vector<std::string>& list = params.supportedShutterSpeed;
    if (gp_widget_count_choices(widget.get()) < 2) {
        list = FixedShutterList();
    } else {
        ForEachChoice(widget.get(), [&](int i, const char* text) {
            if (*text != '\0' && !Skipped(kShutterRules, params.mode, i)) {
                list.push_back(text);
            }
        });
    }
    ApplyBulbRule(list, params.mode);
    return status;
}

int SonyA7M3Camera::SetShutterSpeedParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    int ret = FetchWidget("shutterspeed", widget);
    if (ret != GP_OK) {
        ROOT_LOG(ZR_LOG_ERR, kLookupFailedRet, ret);
        return -1;
    }
    if (WriteWidget("shutterspeed", widget.get(), value) != 0) {
        return -1;
    }
    // The camera needs a moment to apply the speed; the set counts only when
    // it reports the requested value back.
    usleep(100 * 1000);
    WidgetText readBack;
    if (FetchWidget("shutterspeed", widget) == GP_OK) {
        readBack = ReadText(widget.get());
    }
    if (!readBack.has || readBack.text.empty() || readBack.text != value) {
        ROOT_LOG(ZR_LOG_ERR, "%s", kLookupFailed);
        return -1;
    }
    return 0;
}

int SonyA7M3Camera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadWhiteBalance(params, Body::A7M3);
}
