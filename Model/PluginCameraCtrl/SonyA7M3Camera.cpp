#include "SonyA7M3Camera.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "zrlog.h"

namespace {

using List = SonyCamera::List;
using Modes = SonyCamera::Modes;

// The camera offers its focus modes at fixed positions: 0 manual, 1 single AF, 2..4
// model-specific; positions 5 and later are never listed. They are listed in this order.
const int kFocusOrder[] = {1, 3, 2, 4, 0};
const int kFocusPositions = 5;

// Which positions of a list the camera cannot use in some programs (inclusive ranges). The first
// rule of a list whose programs name the mode decides; nullptr: in every program.
struct PositionRule {
    List list;
    const Modes* programs;
    const Modes* morePrograms;
    std::initializer_list<std::pair<int, int>> positions;
};

const Modes kSports = {"Sports Action"};
const Modes kScene = {"Portrait", "Macro", "Landscape", "Sunset", "Night Scene", "Night Portrait"};
const Modes& kStill = SonyCamera::kStillModes;
const Modes& kMovie = SonyCamera::kExpprogramMovieModes;
const Modes& kSlowQuick = SonyCamera::kExpprogramSlowQuickModes;
constexpr std::pair<int, int> From(int first) {
    return {first, INT_MAX};
}
constexpr std::pair<int, int> UpTo(int last) {
    return {INT_MIN, last};
}

// clang-format off
const PositionRule kRules[] = {
    {List::Focus,   &kSports,    nullptr,     {{1, 1}, {3, 3}}},
    {List::Focus,   &kScene,     nullptr,     {{2, 3}}},
    {List::Focus,   &kMovie,     &kSlowQuick, {{1, 1}, {3, 4}}},
    {List::Iso,     &kMovie,     &kSlowQuick, {{1, 4}, From(36)}},
    {List::Iso,     nullptr,     nullptr,     {{1, 1}, From(39)}},
    {List::Shutter, &kStill,     nullptr,     {{55, 60}}},
    {List::Shutter, &kMovie,     nullptr,     {UpTo(20), {55, 60}}},
    {List::Shutter, &kSlowQuick, nullptr,     {UpTo(32), {55, 60}}},
};
// clang-format on

const AbstructCamera::ListRead kIso = {AbstructCamera::Lookup::NamedIso,
                                       AbstructCamera::Clear::BeforeLookup,
                                       nullptr,
                                       true,
                                       false,
                                       AbstructCamera::Bulb::AsListed,
                                       true,
                                       false};

}  // namespace

SonyA7M3Camera::SonyA7M3Camera(_Camera* camera, _GPContext* context, CameraType type)
    : SonyCamera(camera, context, type, Body::A7M3) {}

SonyA7M3Camera::~SonyA7M3Camera() = default;

bool SonyA7M3Camera::OwnRule(List list, const std::string& mode, int position, const std::string&) const {
    for (const PositionRule& rule : kRules) {
        const bool named = rule.programs == nullptr || InModes(mode, *rule.programs) ||
                           (rule.morePrograms != nullptr && InModes(mode, *rule.morePrograms));
        if (rule.list != list || !named) {
            continue;
        }
        return std::any_of(rule.positions.begin(), rule.positions.end(), [&](const std::pair<int, int>& r) {
            return r.first <= position && position <= r.second;
        });
    }
    return false;
}

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
            !OwnRule(List::Focus, params.mode, i, choice.second)) {
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
    return ReadList("iso", kIso, params, kIsoField, OwnRuleFor(List::Iso, params.mode));
}

int SonyA7M3Camera::SetShutterSpeedParam(std::string value) {
    if (SetWidget({"shutterspeed", Lookup::WithResult}, value) != 0) {
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
