#include "CanonEosCamera.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <vector>

#include "zrlog.h"

namespace {

const char kMovieSwitchWidget[] = "eosmovieswitch";
const char kExposureWidget[] = "autoexposuremode";
const char kCaptureTargetWidget[] = "capturetarget";
const char kRecordTargetWidget[] = "movierecordtarget";
const char kIrisWidget[] = "aperture";
const char kFocusWidget[] = "focusmode";
const char kWhiteBalanceWidget[] = "whitebalance";
const char kShutterWidget[] = "shutterspeed";

const char kAuto[] = "Auto";
const char kUnknown00ff[] = "Unknown value 00ff";

using Lookup = AbstructCamera::Lookup;
using Texts = std::vector<std::string>;

bool Contains(const Texts& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Where a choice that means automatic aperture lands in the iris list.
enum class IrisAutoChoice {
    AtIndexZero,         // whatever the first choice's text, it is listed as "Auto"
    InPlace,             // an automatic text is listed as "Auto" where it stands
    AtFrontIgnoringCase  // an automatic text, in any case, puts "Auto" at the front
};

// A focus-list rule: when the focus mode and the exposure program match, the choices in
// `texts` are left out, or each choice is replaced by all of `texts`.
enum class FocusIs { Any, Manual, NotManual };
enum class ModeIs { Any, In, NotIn };
enum class FocusAction { LeaveOut, ReplaceEach };
struct FocusRule {
    FocusIs focus;
    ModeIs mode;
    Texts modes;
    FocusAction action;
    Texts texts;
};
using FocusRules = std::vector<FocusRule>;

// One value per body, in the order R6, R6 Mark II, RP.
template <typename T>
using PerBody = std::array<T, 3>;

using Rows = std::vector<AbstructCamera::TextRow>;
using C = AbstructCamera;
const C::ListRead kWhiteBalance = {Lookup::Named, C::Clear::BeforeLookup, nullptr, false,
                                   false,         C::Bulb::AsListed,      true,    false};
const C::ListRead kRpShutter = {Lookup::FocusWording,
                                C::Clear::BeforeLookup,
                                &C::kNothing,
                                false,
                                false,
                                C::Bulb::AutoFirst,
                                true,
                                false};
const Rows kRpFocusNames = {{"Automatic", "AF-S"}, {"Manual", "MF"}, {"Unknown value 0007", "One Shot"}};

// clang-format off
// Behaviour                                         R6                    R6 Mark II             RP

// Mode: the record's mode cleared before the read; the lookup and value messages; the exposure
// program's name with the movie switch on (other programs: empty, or the program itself); the
// display mode set from the movie switch.
const PerBody<bool> kModeClearedFirst            = {true,                 false,                 true};
const PerBody<Lookup> kModeLookup                = {Lookup::Named,        Lookup::WithResult,    Lookup::Named};
using VF = CanonEosCamera::ValueFailure;
const PerBody<VF> kModeValueFailure              = {VF::WithName,         VF::WithResult,        VF::WithName};
const PerBody<Rows> kMovieModes                  = {{
    /* R6 */   {{"P", "Movie (Auto)"}, {"Manual", "Movie (M)"}},
    /* R6 II */{{"P", "Movie (Auto)"}, {"TV", "Movie (TV)"}, {"AV", "Movie (AV)"}, {"M", "Movie (M)"}},
    /* RP */   {{"P", "Movie (Auto)"}, {"Manual", "Movie (M)"}}}};
const PerBody<bool> kOtherMovieModeKept          = {false,                true,                  false};
const PerBody<bool> kDispModeFromMovieSwitch     = {false,                true,                  false};

// Recording: the message when the storage target cannot be looked up.
const PerBody<Lookup> kCaptureTargetLookup       = {Lookup::WithResult,   Lookup::Named,         Lookup::WithResult};

// Iris read: the lookup message, the values shown as "Auto", where an automatic choice is
// listed, and whether a camera without choices gets the fixed iris list.
const PerBody<Lookup> kIrisLookup                = {Lookup::Named,        Lookup::FocusWording,  Lookup::FocusWording};
const PerBody<Texts> kIrisAutoValues             = {{{kUnknown00ff},      {kUnknown00ff},        {kUnknown00ff, "implicit auto"}}};
const PerBody<IrisAutoChoice> kIrisAutoChoice    = {IrisAutoChoice::AtIndexZero, IrisAutoChoice::InPlace,
                                                    IrisAutoChoice::AtFrontIgnoringCase};
const PerBody<bool> kFixedIrisWithoutChoices     = {true,                 false,                 false};

// Iris write: the driver's text for "Auto" by exposure program (nullptr: any program; one not
// named sends "Auto" as it is). The driver names shutter priority "TV" (as the R6 II mode table does).
const PerBody<Rows> kIrisAutoWritten             = {{
    /* R6 */   {{nullptr, kUnknown00ff}},
    /* R6 II */{{nullptr, kUnknown00ff}},
    /* RP */   {{"Fv", kUnknown00ff}, {"TV", "implicit auto"}}}};

// Shutter speed: how the list is read (the RP shows its bulb as "Auto").
const PerBody<const AbstructCamera::ListRead*> kShutterLists = {&AbstructCamera::kShutterList,
                                                    &AbstructCamera::kShutterList, &kRpShutter};

// White balance: "AWB White" moves second only in an object made for this type.
const PerBody<CameraType> kAwbWhiteSecondFor     = {CanonEosR6,           CanonEosR6M2,          CanonEosRP};

// Focus: the names, and the rules that filter the list.
const Rows& kFocusNames = AbstructCamera::FocusNames();
const PerBody<const Rows*> kFocusNameRows        = {&kFocusNames,         &kFocusNames,          &kRpFocusNames};
const PerBody<FocusRules> kFocusRules            = {{
    /* R6 */   {{FocusIs::Manual, ModeIs::Any, {}, FocusAction::LeaveOut, {"One Shot", "AI Servo"}},
                {FocusIs::Any, ModeIs::In, {"Movie (M)", "Movie Auto"}, FocusAction::LeaveOut, {"AI Servo", "AI Focus"}},
                {FocusIs::Any, ModeIs::NotIn, {"Movie (M)", "Movie Auto"}, FocusAction::LeaveOut, {"AI Focus"}}},
    /* R6 II */{{FocusIs::Manual, ModeIs::Any, {}, FocusAction::LeaveOut, {"One Shot", "AI Servo", "AI Focus"}}},
    /* RP */   {{FocusIs::NotManual, ModeIs::NotIn, {"Movie (M)", "Portrait", "Auto"}, FocusAction::ReplaceEach,
                 {"One Shot", "AI Servo"}}}}};
// clang-format on

template <typename T>
const T& Of(const PerBody<T>& row, CanonEosBody body) {
    return row[static_cast<size_t>(body)];
}

bool Holds(const FocusRule& rule, const std::string& focusMode, const std::string& mode) {
    const bool manual = focusMode == "MF";
    if ((rule.focus == FocusIs::Manual && !manual) || (rule.focus == FocusIs::NotManual && manual))
        return false;
    switch (rule.mode) {
        case ModeIs::In:
            return Contains(rule.modes, mode);
        case ModeIs::NotIn:
            return !Contains(rule.modes, mode);
        case ModeIs::Any:
            break;
    }
    return true;
}

}  // namespace

CanonEosCamera::CanonEosCamera(_Camera* camera, _GPContext* context, CameraType type, CanonEosBody body)
    : AbstructCamera(camera, context, type), m_cameraType(type), m_body(body) {}

CanonEosCamera::~CanonEosCamera() = default;

int CanonEosCamera::ReadWidgetText(const char* name, Lookup lookup, ValueFailure value,
                                   std::string& out) const {
    Reading r;
    if (Read(name, lookup, {}, r) != 0) {
        return -1;
    }
    if (!r.value.has) {
        if (value == ValueFailure::WithName) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value %s widget", name);
        } else {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value, ret : %#X", r.value.status);
        }
        return -1;
    }
    out = r.value.text;
    return 0;
}

int CanonEosCamera::GetCurrentMode(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    if (Of(kModeClearedFirst, m_body)) {
        params.mode.clear();
        params.supportedMode.clear();
    }
    const Lookup lookup = Of(kModeLookup, m_body);
    const ValueFailure value = Of(kModeValueFailure, m_body);
    std::string movieSwitch;
    std::string exposure;
    if (ReadWidgetText(kMovieSwitchWidget, lookup, value, movieSwitch) != 0 ||
        ReadWidgetText(kExposureWidget, lookup, value, exposure) != 0) {
        return -1;
    }
    const bool movie = movieSwitch == "1";
    if (!movie) {
        params.mode = exposure;
    } else {
        params.mode =
            Mapped(Of(kMovieModes, m_body), exposure, Of(kOtherMovieModeKept, m_body) ? exposure : "");
    }
    if (Of(kDispModeFromMovieSwitch, m_body)) {
        params.dispMode = movie;
    }
    return 0;
}

int CanonEosCamera::WriteCaptureTarget(Lookup lookup) const {
    return SetWidget({kCaptureTargetWidget, lookup}, "Memory card");
}

int CanonEosCamera::InitRecord() {
    return WriteCaptureTarget(Lookup::WithResult);
}

int CanonEosCamera::EnableRecord(bool on) {
    // The movie goes to the card only while stills go there too.
    if (WriteCaptureTarget(Of(kCaptureTargetLookup, m_body)) != 0) {
        return -1;
    }
    return SetWidget({kRecordTargetWidget, Lookup::Plain}, on ? "Card" : "None");
}

int CanonEosCamera::GetRecordEnable(CameraParams& params, const char*) {
    Reading r;
    if (Read(kRecordTargetWidget, Lookup::Named, {}, r) != 0) {
        return -1;
    }
    // Without a text the state is unknown: keep what the record says.
    if (r.value.has) {
        params.recordEnable = r.value.text == "Card";
    }
    return 0;
}

int CanonEosCamera::GetIrisParam(CameraParams& params) {
    Reading r;
    if (Read(kIrisWidget, Of(kIrisLookup, m_body), {&params.iris, &params.supportedIris}, r) != 0) {
        return -1;
    }
    const Texts& autoValues = Of(kIrisAutoValues, m_body);
    if (r.value.has) {
        params.iris = Contains(autoValues, r.value.text) ? kAuto : IrisText(r.value);
    }
    Strings& list = params.supportedIris;
    for (const auto& choice : r.choices) {
        const std::string& text = choice.second;
        switch (Of(kIrisAutoChoice, m_body)) {
            case IrisAutoChoice::AtIndexZero:
                list.push_back(choice.first == 0 ? kAuto : text);
                break;
            case IrisAutoChoice::InPlace:
                list.push_back(Contains(autoValues, text) ? kAuto : text);
                break;
            case IrisAutoChoice::AtFrontIgnoringCase:
                if (std::any_of(autoValues.begin(), autoValues.end(), [&](const std::string& a) {
                        return strcasecmp(a.c_str(), text.c_str()) == 0;
                    })) {
                    list.insert(list.begin(), kAuto);
                } else {
                    list.push_back(text);
                }
                break;
        }
    }
    if (r.count < 1 && Of(kFixedIrisWithoutChoices, m_body)) {
        list = FixedIrisList();
    }
    return r.value.status;
}

int CanonEosCamera::SetIrisParam(std::string value) {
    const Rows& autoWritten = Of(kIrisAutoWritten, m_body);
    const bool byProgram = std::any_of(autoWritten.begin(), autoWritten.end(),
                                       [](const TextRow& row) { return row.from != nullptr; });
    return SetWidget({kIrisWidget, Lookup::WithResult}, value, [&](std::string& text) {
        // The program is read before the value is looked at, whatever the value.
        CameraParams current;
        if (byProgram) {
            GetCurrentMode(current);
        }
        if (text == kAuto) {
            text = Mapped(autoWritten, current.mode, text);
        }
    });
}

int CanonEosCamera::GetShutterSpeedParam(CameraParams& params) {
    return ReadList(kShutterWidget, *Of(kShutterLists, m_body), params, kShutterField);
}

int CanonEosCamera::GetWhiteBalanceParam(CameraParams& params) {
    Strings offered;
    Strings& list = params.supportedWhiteBalance;
    const int ret = ReadList(kWhiteBalanceWidget, kWhiteBalance, params, kWhiteBalanceField);
    if (m_cameraType != Of(kAwbWhiteSecondFor, m_body) || list.size() < 2) {
        return ret;
    }
    offered.swap(list);
    for (const std::string& text : offered) {
        // Offered right after the first entry; as the first choice it has nothing to follow yet.
        if (text == "AWB White" && !list.empty()) {
            list.insert(list.begin() + 1, text);
        } else {
            list.push_back(text);
        }
    }
    return ret;
}

int CanonEosCamera::GetFocusModeParam(CameraParams& params) {
    Reading r;
    if (Read(kFocusWidget, Lookup::Named, {&params.focusMode, &params.supportedFocusMode}, r) != 0) {
        return -1;
    }
    const TextRows& names = *Of(kFocusNameRows, m_body);
    if (r.value.has) {
        if (r.value.text == "Undefined") {
            return -1;
        }
        params.focusMode = Mapped(names, r.value.text);
    }
    for (const std::string& raw : r.Texts()) {
        bool listed = true;
        for (const FocusRule& rule : Of(kFocusRules, m_body)) {
            if (!Holds(rule, params.focusMode, params.mode)) {
                continue;
            }
            if (rule.action == FocusAction::ReplaceEach) {
                params.supportedFocusMode.insert(params.supportedFocusMode.end(), rule.texts.begin(),
                                                 rule.texts.end());
                listed = false;
                break;
            }
            if (Contains(rule.texts, raw)) {
                listed = false;
                break;
            }
        }
        if (listed) {
            params.supportedFocusMode.push_back(Mapped(names, raw));
        }
    }
    return 0;
}
