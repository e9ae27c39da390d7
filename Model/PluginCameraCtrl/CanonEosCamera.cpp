#include "CanonEosCamera.h"

#include <strings.h>

#include <algorithm>
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

const char kAuto[] = "Auto";

using Texts = std::vector<std::string>;

struct TextRow {
    const char* from;  // nullptr: any text
    const char* to;
};

bool Contains(const Texts& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

enum class ModeStart { Cleared, Kept };  // the record's mode before the read
enum class OtherMovieMode { LeftEmpty, Unchanged };
enum class DispMode { Untouched, FromMovieSwitch };
enum class IrisWithoutChoices { FixedList, EmptyList };

// Where a choice that means automatic aperture lands in the iris list.
enum class IrisAutoChoice {
    AtIndexZero,         // whatever the first choice's text, it is listed as "Auto"
    InPlace,             // an automatic text is listed as "Auto" where it stands
    AtFrontIgnoringCase  // an automatic text, in any case, puts "Auto" at the front
};

// A focus-list rule: when the focus mode and the exposure program match, the
// choices in `texts` are left out, or each choice is replaced by all of `texts`.
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

}  // namespace

struct CanonEosModel {
    CameraType ownType;  // "AWB White" moves second only for an object of this type

    // Mode reader
    ModeStart modeStart;
    CanonEosCamera::LookupFailure modeLookup;
    CanonEosCamera::ValueFailure modeValue;
    std::vector<TextRow> movieModes;  // exposure text -> mode text with the movie switch on
    OtherMovieMode otherMovieMode;
    DispMode dispMode;

    // Recording
    CanonEosCamera::LookupFailure captureTargetLookup;

    // Iris reader and writer
    CanonEosCamera::LookupFailure irisLookup;
    Texts irisAutoValues;  // current values shown as "Auto"
    IrisAutoChoice irisAutoChoice;
    IrisWithoutChoices irisWithoutChoices;
    std::vector<TextRow> irisAutoWritten;  // exposure program -> text sent for "Auto"

    // Focus reader
    std::vector<TextRow> focusNames;  // driver text -> host text
    std::vector<FocusRule> focusRules;
};

namespace {

using LF = CanonEosCamera::LookupFailure;
using VF = CanonEosCamera::ValueFailure;

const char kUnknown00ff[] = "Unknown value 00ff";

// The three bodies, field by field in the order of CanonEosModel.
const CanonEosModel kR6 = {
    CanonEosR6,
    // Mode reader
    ModeStart::Cleared,
    LF::WithName,
    VF::WithName,
    {{"P", "Movie (Auto)"}, {"Manual", "Movie (M)"}},
    OtherMovieMode::LeftEmpty,
    DispMode::Untouched,
    // Recording
    LF::WithResult,
    // Iris
    LF::WithName,
    {kUnknown00ff},
    IrisAutoChoice::AtIndexZero,
    IrisWithoutChoices::FixedList,
    {{nullptr, kUnknown00ff}},
    // Focus
    {{"Automatic", "AF-S"}, {"Manual", "MF"}},
    {{FocusIs::Manual, ModeIs::Any, {}, FocusAction::LeaveOut, {"One Shot", "AI Servo"}},
     {FocusIs::Any, ModeIs::In, {"Movie (M)", "Movie Auto"}, FocusAction::LeaveOut, {"AI Servo", "AI Focus"}},
     {FocusIs::Any, ModeIs::NotIn, {"Movie (M)", "Movie Auto"}, FocusAction::LeaveOut, {"AI Focus"}}},
};

const CanonEosModel kR6M2 = {
    CanonEosR6M2,
    // Mode reader
    ModeStart::Kept,
    LF::WithResult,
    VF::WithResult,
    {{"P", "Movie (Auto)"}, {"TV", "Movie (TV)"}, {"AV", "Movie (AV)"}, {"M", "Movie (M)"}},
    OtherMovieMode::Unchanged,
    DispMode::FromMovieSwitch,
    // Recording
    LF::WithName,
    // Iris
    LF::FocusWording,
    {kUnknown00ff},
    IrisAutoChoice::InPlace,
    IrisWithoutChoices::EmptyList,
    {{nullptr, kUnknown00ff}},
    // Focus
    {{"Automatic", "AF-S"}, {"Manual", "MF"}},
    {{FocusIs::Manual, ModeIs::Any, {}, FocusAction::LeaveOut, {"One Shot", "AI Servo", "AI Focus"}}},
};

const CanonEosModel kRP = {
    CanonEosRP,
    // Mode reader
    ModeStart::Cleared,
    LF::WithName,
    VF::WithName,
    {{"P", "Movie (Auto)"}, {"Manual", "Movie (M)"}},
    OtherMovieMode::LeftEmpty,
    DispMode::Untouched,
    // Recording
    LF::WithResult,
    // Iris
    LF::FocusWording,
    {kUnknown00ff, "implicit auto"},
    IrisAutoChoice::AtFrontIgnoringCase,
    IrisWithoutChoices::EmptyList,
    // The driver names shutter priority "TV" (as the R6 II mode table does); the RP's automatic
    // aperture there is "implicit auto".
    {{"Fv", kUnknown00ff}, {"TV", "implicit auto"}},
    // Focus
    {{"Automatic", "AF-S"}, {"Manual", "MF"}, {"Unknown value 0007", "One Shot"}},
    {{FocusIs::NotManual,
      ModeIs::NotIn,
      {"Movie (M)", "Portrait", "Auto"},
      FocusAction::ReplaceEach,
      {"One Shot", "AI Servo"}}},
};

const CanonEosModel& ModelOf(CanonEosBody body) {
    switch (body) {
        case CanonEosBody::R6M2:
            return kR6M2;
        case CanonEosBody::RP:
            return kRP;
        case CanonEosBody::R6:
            break;
    }
    return kR6;
}

// The row for `from`, or the text itself when no row names it.
std::string Mapped(const std::vector<TextRow>& rows, const std::string& from, const std::string& otherwise) {
    for (const TextRow& row : rows) {
        if (row.from == nullptr || from == row.from)
            return row.to;
    }
    return otherwise;
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
    : AbstructCamera(camera, context, type), m_cameraType(type), m_model(ModelOf(body)) {}

CanonEosCamera::~CanonEosCamera() = default;

void CanonEosCamera::LogLookupFailure(LookupFailure message, const char* name, int ret) {
    switch (message) {
        case LookupFailure::WithName:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget", name);
            return;
        case LookupFailure::WithResult:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get widget, ret : %#X", ret);
            return;
        case LookupFailure::Plain:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get widget");
            return;
        case LookupFailure::FocusWording:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get focusmode widget");
            return;
    }
}

int CanonEosCamera::ReadWidgetText(const char* name, LookupFailure lookup, ValueFailure value,
                                   std::string& out) const {
    WidgetPtr widget;
    int ret = FetchWidget(name, widget);
    if (ret != GP_OK) {
        LogLookupFailure(lookup, name, ret);
        return -1;
    }
    WidgetText text = ReadText(widget.get());
    if (!text.has) {
        if (value == ValueFailure::WithName) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value %s widget", name);
        } else {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value, ret : %#X", text.status);
        }
        return -1;
    }
    out = text.text;
    return 0;
}

int CanonEosCamera::GetCurrentMode(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    if (m_model.modeStart == ModeStart::Cleared) {
        params.mode.clear();
        params.supportedMode.clear();
    }
    std::string movieSwitch;
    std::string exposure;
    if (ReadWidgetText(kMovieSwitchWidget, m_model.modeLookup, m_model.modeValue, movieSwitch) != 0 ||
        ReadWidgetText(kExposureWidget, m_model.modeLookup, m_model.modeValue, exposure) != 0) {
        return -1;
    }
    const bool movie = movieSwitch == "1";
    if (!movie) {
        params.mode = exposure;
    } else {
        params.mode = Mapped(m_model.movieModes, exposure,
                             m_model.otherMovieMode == OtherMovieMode::Unchanged ? exposure : "");
    }
    if (m_model.dispMode == DispMode::FromMovieSwitch) {
        params.dispMode = movie;
    }
    return 0;
}

int CanonEosCamera::WriteCaptureTarget(LookupFailure lookup) const {
    WidgetPtr widget;
    int ret = FetchWidget(kCaptureTargetWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(lookup, kCaptureTargetWidget, ret);
        return -1;
    }
    return WriteWidget(kCaptureTargetWidget, widget.get(), "Memory card");
}

int CanonEosCamera::InitRecord() {
    if (!CheckParams()) {
        return -1;
    }
    return WriteCaptureTarget(LookupFailure::WithResult);
}

int CanonEosCamera::EnableRecord(bool on) {
    if (!CheckParams()) {
        return -1;
    }
    // The movie goes to the card only while stills go there too.
    if (WriteCaptureTarget(m_model.captureTargetLookup) != 0) {
        return -1;
    }
    WidgetPtr widget;
    if (FetchWidget(kRecordTargetWidget, widget) != GP_OK) {
        LogLookupFailure(LookupFailure::Plain, kRecordTargetWidget, 0);
        return -1;
    }
    return WriteWidget(kRecordTargetWidget, widget.get(), on ? "Card" : "None");
}

int CanonEosCamera::GetRecordEnable(CameraParams& params, const char*) {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    if (FetchWidget(kRecordTargetWidget, widget) != GP_OK) {
        LogLookupFailure(LookupFailure::WithName, kRecordTargetWidget, 0);
        return -1;
    }
    // Without a text the state is unknown: keep what the record says.
    WidgetText value = ReadText(widget.get());
    if (value.has) {
        params.recordEnable = value.text == "Card";
    }
    return 0;
}

int CanonEosCamera::GetIrisParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.iris.clear();
    params.supportedIris.clear();
    WidgetPtr widget;
    int ret = FetchWidget(kIrisWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(m_model.irisLookup, kIrisWidget, ret);
        return -1;
    }
    const Texts& autoValues = m_model.irisAutoValues;
    WidgetText value = ReadText(widget.get());
    if (value.has) {
        params.iris = Contains(autoValues, value.text) ? kAuto : IrisText(value);
    }
    std::vector<std::string>& list = params.supportedIris;
    const int count = ForEachChoice(widget.get(), [&](int index, const char* text) {
        switch (m_model.irisAutoChoice) {
            case IrisAutoChoice::AtIndexZero:
                list.push_back(index == 0 ? kAuto : text);
                return;
            case IrisAutoChoice::InPlace:
                list.push_back(Contains(autoValues, text) ? kAuto : text);
                return;
            case IrisAutoChoice::AtFrontIgnoringCase:
                if (std::any_of(autoValues.begin(), autoValues.end(),
                                [&](const std::string& a) { return strcasecmp(a.c_str(), text) == 0; })) {
                    list.insert(list.begin(), kAuto);
                } else {
                    list.push_back(text);
                }
                return;
        }
    });
    if (count < 1 && m_model.irisWithoutChoices == IrisWithoutChoices::FixedList) {
        list = FixedIrisList();
    }
    return value.status;
}

int CanonEosCamera::SetIrisParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    int ret = FetchWidget(kIrisWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(LookupFailure::WithResult, kIrisWidget, ret);
        return -1;
    }
    // Automatic aperture has a different driver text per exposure program on some bodies.
    const std::vector<TextRow>& rows = m_model.irisAutoWritten;
    std::string mode;
    if (std::any_of(rows.begin(), rows.end(), [](const TextRow& row) { return row.from != nullptr; })) {
        CameraParams scratch;
        GetCurrentMode(scratch);
        mode = scratch.mode;
    }
    if (value == kAuto) {
        value = Mapped(rows, mode, value);
    }
    return WriteWidget(kIrisWidget, widget.get(), value);
}

int CanonEosCamera::GetWhiteBalanceParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.whiteBalance.clear();
    params.supportedWhiteBalance.clear();
    WidgetPtr widget;
    if (FetchWidget(kWhiteBalanceWidget, widget) != GP_OK) {
        LogLookupFailure(LookupFailure::WithName, kWhiteBalanceWidget, 0);
        return -1;
    }
    WidgetText value = ReadText(widget.get());
    if (value.has) {
        params.whiteBalance = value.text;
    }
    const bool ownModel = m_cameraType == m_model.ownType;
    const int count = gp_widget_count_choices(widget.get());
    std::vector<std::string>& list = params.supportedWhiteBalance;
    ForEachChoice(widget.get(), [&](int, const char* text) {
        // Offered right after the first entry; as the first choice it has nothing to follow yet.
        if (ownModel && count >= 2 && std::string(text) == "AWB White" && !list.empty()) {
            list.insert(list.begin() + 1, text);
        } else {
            list.push_back(text);
        }
    });
    return value.status;
}

int CanonEosCamera::GetFocusModeParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    params.focusMode.clear();
    params.supportedFocusMode.clear();
    WidgetPtr widget;
    if (FetchWidget(kFocusWidget, widget) != GP_OK) {
        LogLookupFailure(LookupFailure::WithName, kFocusWidget, 0);
        return -1;
    }
    WidgetText value = ReadText(widget.get());
    if (value.has) {
        if (value.text == "Undefined") {
            return -1;
        }
        params.focusMode = Mapped(m_model.focusNames, value.text, value.text);
    }
    ForEachChoice(widget.get(), [&](int, const char* raw) {
        for (const FocusRule& rule : m_model.focusRules) {
            if (!Holds(rule, params.focusMode, params.mode)) {
                continue;
            }
            if (rule.action == FocusAction::ReplaceEach) {
                params.supportedFocusMode.insert(params.supportedFocusMode.end(), rule.texts.begin(),
                                                 rule.texts.end());
                return;
            }
            if (Contains(rule.texts, raw)) {
                return;
            }
        }
        params.supportedFocusMode.push_back(Mapped(m_model.focusNames, raw, raw));
    });
    return 0;
}
