#include "AbstructCamera.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "NumberText.h"
#include "SetRequests.h"
#include "zrlog.h"

namespace {

const char kFocusWidget[] = "focusmode";
const char kIsoWidget[] = "iso";
const char kIrisWidget[] = "f-number";
const char kShutterWidget[] = "shutterspeed";
const char kModeWidget[] = "expprogram";
const char kWhiteBalanceWidget[] = "whitebalance";
const char kMovieWidget[] = "movie";
const char kRecordStateWidget[] = "d21d";
const char kBatteryWidget[] = "batterylevel";
const char kTouchWidget[] = "kd_touch_focus";
const char kBatteryDebugFile[] = "/tmp/debug_show_baytterylevel";

// The number a range is set to: plain ("5.6") or as an f-number ("f/5.6").
bool ParseRangeNumber(const std::string& text, float& out) {
    const bool fNumber = text.rfind("f/", 0) == 0 || text.rfind("F/", 0) == 0;
    return numtext::WholeFloat(fNumber ? text.substr(2) : text, out);
}

}  // namespace

AbstructCamera::AbstructCamera(_Camera* camera, _GPContext* context, CameraType type)
    : m_gpCamera(camera), m_context(context), m_modelType(type) {}

AbstructCamera::~AbstructCamera() = default;

const std::vector<std::string>& AbstructCamera::FixedIsoList() {
    static const std::vector<std::string> list = {
        "AUTO",   "40",     "50",     "64",     "80",     "100",   "125",   "160",   "200",
        "250",    "320",    "400",    "500",    "640",    "800",   "1000",  "1250",  "1600",
        "2000",   "2500",   "3200",   "4000",   "5000",   "6400",  "8000",  "10000", "12800",
        "16000",  "20000",  "25600",  "32000",  "40000",  "51200", "64000", "80000", "102400",
        "128000", "160000", "204800", "256000", "320000", "409600"};
    return list;
}

const std::vector<std::string>& AbstructCamera::FixedIrisList() {
    static const std::vector<std::string> list = {
        "f/1",   "f/1.1", "f/1.2", "f/1.4", "f/1.6", "f/1.8", "f/2",   "f/2.2", "f/2.5", "f/2.8",
        "f/3.2", "f/3.5", "f/4",   "f/4.5", "f/5",   "f/5.6", "f/6.3", "f/7.1", "f/8",   "f/9",
        "f/10",  "f/11",  "f/13",  "f/14",  "f/16",  "f/18",  "f/20",  "f/22",  "f/25",  "f/29",
        "f/32",  "f/36",  "f/42",  "f/45",  "f/50",  "f/57",  "f/64"};
    return list;
}

const std::vector<std::string>& AbstructCamera::FixedShutterList() {
    static const std::vector<std::string> list = {
        "Bulb",   "30",     "20",     "15",     "13",    "10",     "8",      "6",      "5",      "4",
        "3.2",    "2.5",    "2",      "1.6",    "1.3",   "1",      "0.8",    "0.6",    "0.5",    "0.4",
        "1/3",    "1/4",    "1/5",    "1/6",    "1/8",   "1/10",   "1/13",   "1/15",   "1/20",   "1/25",
        "1/30",   "1/40",   "1/50",   "1/60",   "1/80",  "1/100",  "1/125",  "1/160",  "1/200",  "1/250",
        "1/320",  "1/400",  "1/500",  "1/640",  "1/800", "1/1000", "1/1250", "1/1600", "1/2000", "1/2500",
        "1/3200", "1/4000", "1/5000", "1/6400", "1/8000"};
    return list;
}

bool AbstructCamera::CheckParams() const {
    if (m_gpCamera == nullptr || m_context == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return false;
    }
    return true;
}

int AbstructCamera::FetchWidget(const char* name, WidgetPtr& out) const {
    CameraWidget* widget = nullptr;
    int ret = gp_camera_get_single_config(m_gpCamera, name, &widget, m_context);
    // Own whatever came back, even alongside an error, so nothing leaks.
    out.reset(widget);
    if (ret != GP_OK) {
        return ret;
    }
    return widget != nullptr ? GP_OK : GP_ERROR;
}

int AbstructCamera::PutValue(CameraWidget* widget, const char* name, const std::string& value,
                             int setFailureLevel) {
    CameraWidgetType type;
    int ret = gp_widget_get_type(widget, &type);
    if (ret == GP_OK) {
        switch (type) {
            case GP_WIDGET_TEXT:
            case GP_WIDGET_RADIO:
            case GP_WIDGET_MENU:
                // The driver checks a radio's text against its choices (or not at all, where it
                // serves none): that is the camera's answer to give.
                ret = gp_widget_set_value(widget, value.c_str());
                break;
            case GP_WIDGET_RANGE: {
                float number = 0;
                float bottom = 0;
                float top = 0;
                float step = 0;
                if (!ParseRangeNumber(value, number)) {
                    ROOT_LOG(ZR_LOG_ERR, "Failed, %s widget is a range and \"%s\" is no number", name,
                             value.c_str());
                    return -1;
                }
                ret = gp_widget_get_range(widget, &bottom, &top, &step);
                if (ret == GP_OK && (number < bottom || number > top)) {
                    ROOT_LOG(ZR_LOG_ERR, "Failed, %s widget takes %g to %g, not \"%s\"", name,
                             static_cast<double>(bottom), static_cast<double>(top), value.c_str());
                    return -1;
                }
                if (ret == GP_OK) {
                    ret = gp_widget_set_value(widget, &number);
                }
                break;
            }
            case GP_WIDGET_TOGGLE:
            case GP_WIDGET_DATE: {
                int number = 0;
                if (!numtext::WholeInt(value, number)) {
                    ROOT_LOG(ZR_LOG_ERR, "Failed, %s widget takes a whole number, not \"%s\"", name,
                             value.c_str());
                    return -1;
                }
                ret = gp_widget_set_value(widget, &number);
                break;
            }
            default:
                ROOT_LOG(ZR_LOG_ERR, "Failed, %s widget holds no value to set", name);
                return -1;
        }
    }
    if (ret != GP_OK) {
        ROOT_LOG(setFailureLevel, "Failed to gp_widget_set_value, ret : %#X", ret);
        return -1;
    }
    return 0;
}

int AbstructCamera::SetWidget(const WriteTo& to, std::string value, const BeforeWrite& before) const {
    if (!CheckParams()) {
        return -1;
    }
    WidgetPtr widget;
    int ret = FetchWidget(to.widget, widget);
    CameraWidget* target = widget.get();
    if (ret == GP_OK && to.child) {
        target = nullptr;
        ret = gp_widget_get_child_by_name(widget.get(), to.widget, &target);
    }
    if (ret != GP_OK || target == nullptr) {
        LogLookupFailure(to.lookup, to.widget, ret);
        return -1;
    }
    if (before) {
        before(value);
    }
    if (PutValue(target, to.widget, value, to.refusedLevel) != 0) {
        return -1;
    }
    ret = gp_camera_set_single_config(m_gpCamera, to.widget, widget.get(), m_context);
    if (ret != GP_OK) {
        if (to.sendFailureResult) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_set_single_config, ret: %d", ret);
        } else {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_set_single_config");
        }
        return -1;
    }
    return 0;
}

void AbstructCamera::LogLookupFailure(Lookup message, const char* name, int ret) {
    switch (message) {
        case Lookup::Named:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget", name);
            return;
        case Lookup::NamedIso:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config get %s widget", name);
            return;
        case Lookup::NamedWithResult:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget, ret : %#X", name,
                     ret);
            return;
        case Lookup::WithResult:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get widget, ret : %#X", ret);
            return;
        case Lookup::Plain:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get widget");
            return;
        case Lookup::FocusWording:
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get focusmode widget");
            return;
    }
}

std::string AbstructCamera::Mapped(const TextRows& rows, const std::string& text,
                                   const std::string& otherwise) {
    for (const TextRow& row : rows) {
        if (row.from == nullptr || text == row.from) {
            return row.to;
        }
    }
    return otherwise;
}

const AbstructCamera::TextRows& AbstructCamera::FocusNames() {
    static const TextRows names = {{"Automatic", "AF-S"}, {"Manual", "MF"}};
    return names;
}

AbstructCamera::TextRows AbstructCamera::Reversed(const TextRows& rows) {
    TextRows out;
    for (const TextRow& row : rows) {
        out.push_back({row.to, row.from});
    }
    return out;
}

AbstructCamera::Strings AbstructCamera::Reading::Texts() const {
    Strings out;
    for (const auto& choice : choices) {
        out.push_back(choice.second);
    }
    return out;
}

int AbstructCamera::Read(const char* name, Lookup lookup, const Fields& fields, Reading& out) const {
    if (!CheckParams()) {
        return -1;
    }
    auto clear = [&fields] {
        if (fields.value != nullptr) {
            fields.value->clear();
        }
        if (fields.list != nullptr) {
            fields.list->clear();
        }
    };
    if (fields.when == Clear::BeforeLookup) {
        clear();
    }
    WidgetPtr widget;
    int ret = FetchWidget(name, widget);
    if (ret != GP_OK) {
        LogLookupFailure(lookup, name, ret);
        return -1;
    }
    if (fields.when == Clear::AfterLookup) {
        clear();
    }
    out.value = ReadText(widget.get());
    out.count = gp_widget_count_choices(widget.get());
    for (int i = 0; i < out.count; ++i) {
        const char* text = nullptr;
        if (gp_widget_get_choice(widget.get(), i, &text) == GP_OK && text != nullptr) {
            out.choices.emplace_back(i, text);
        }
    }
    return 0;
}

WidgetText AbstructCamera::ReadText(CameraWidget* widget) {
    // gp_widget_get_value writes what the widget's type holds: reading a toggle
    // into a text pointer would leave an int in half a pointer. Numbers are
    // rendered as text the way libgphoto2's own tools print them.
    WidgetText value;
    CameraWidgetType type;
    value.status = gp_widget_get_type(widget, &type);
    if (value.status != GP_OK) {
        return value;
    }
    value.type = type;
    char number[32] = {0};
    switch (type) {
        case GP_WIDGET_TEXT:
        case GP_WIDGET_RADIO:
        case GP_WIDGET_MENU: {
            const char* text = nullptr;
            value.status = gp_widget_get_value(widget, &text);
            if (value.status == GP_OK && text != nullptr) {
                value.has = true;
                value.text = text;
            }
            return value;
        }
        case GP_WIDGET_TOGGLE:
        case GP_WIDGET_DATE: {
            int n = 0;
            value.status = gp_widget_get_value(widget, &n);
            std::snprintf(number, sizeof(number), "%d", n);
            value.number = n;
            break;
        }
        case GP_WIDGET_RANGE: {
            float f = 0;
            value.status = gp_widget_get_value(widget, &f);
            std::snprintf(number, sizeof(number), "%g", static_cast<double>(f));
            value.number = static_cast<double>(f);
            break;
        }
        default:
            value.status = GP_ERROR_BAD_PARAMETERS;
            return value;
    }
    if (value.status == GP_OK) {
        value.has = true;
        value.numeric = true;
        value.text = number;
    }
    return value;
}

std::string AbstructCamera::IrisText(const WidgetText& value) {
    if (value.type == GP_WIDGET_RANGE && value.has) {
        return "f/" + value.text;
    }
    return value.text;
}

namespace {

bool IsBulb(const std::string& text) {
    return strcasecmp(text.c_str(), "Bulb") == 0;
}

// One of the camera's choices into the list, Bulb where the row puts it.
void Place(AbstructCamera::Bulb rule, const std::string& text, AbstructCamera::Strings& list) {
    using Bulb = AbstructCamera::Bulb;
    const bool bulb = rule == Bulb::EachFirst ? text == "Bulb" : IsBulb(text);
    if (bulb && rule == Bulb::LeftOut) {
        return;
    }
    if (bulb && (rule == Bulb::EachFirst || rule == Bulb::AutoFirst)) {
        list.insert(list.begin(), rule == Bulb::AutoFirst ? "Auto" : text);
    } else {
        list.push_back(text);
    }
}

}  // namespace

// clang-format off
const AbstructCamera::Strings AbstructCamera::kNothing;
//                                                     lookup                   cleared              below two            empty  0/0    Bulb                 answers  iris
const AbstructCamera::ListRead AbstructCamera::kIsoList          = {Lookup::NamedIso,        Clear::BeforeLookup, &FixedIsoList(),     false, false, Bulb::AsListed,      false,   false};
const AbstructCamera::ListRead AbstructCamera::kIrisList         = {Lookup::NamedWithResult, Clear::BeforeLookup, &FixedIrisList(),    false, false, Bulb::AsListed,      false,   true};
const AbstructCamera::ListRead AbstructCamera::kShutterList      = {Lookup::NamedWithResult, Clear::AfterLookup,  &FixedShutterList(), false, true,  Bulb::FirstInManual, false,   false};
const AbstructCamera::ListRead AbstructCamera::kWhiteBalanceList = {Lookup::NamedWithResult, Clear::BeforeLookup, nullptr,             false, false, Bulb::AsListed,      false,   false};
// clang-format on

int AbstructCamera::ReadList(const char* widget, const ListRead& how, CameraParams& params, Field field,
                             const LeftOutRule& leftOut, bool* fellBack, const Shown& shown) const {
    std::string& value = params.*field.first;
    Strings& list = params.*field.second;
    Reading r;
    if (Read(widget, how.lookup, {&value, &list, how.clear}, r) != 0) {
        return -1;
    }
    if (r.value.has) {
        value = how.irisValue ? IrisText(r.value) : r.value.text;
        if (how.bulb == Bulb::AutoFirst && IsBulb(value)) {
            value = "Auto";
        }
        if (shown) {
            value = shown(value);
        }
    }
    const bool few = r.count < 2;
    if (fellBack != nullptr) {
        *fellBack = few;
    }
    if (few && how.belowTwo != nullptr) {
        list = *how.belowTwo;
    } else {
        for (const auto& choice : r.choices) {
            const std::string& text = choice.second;
            if (!(how.skipEmpty && text.empty()) && !(how.dropZeroOverZero && text == "0/0") &&
                !(leftOut && leftOut(choice.first, text))) {
                Place(how.bulb, text, list);
            }
        }
    }
    if (how.bulb == Bulb::FirstInManual) {
        auto first = std::find_if(list.begin(), list.end(), IsBulb);
        if (first != list.end()) {
            list.erase(first);
        }
        if (params.mode == "M") {
            list.insert(list.begin(), "Bulb");
        }
    }
    return how.answerValueStatus ? r.value.status : 0;
}

int AbstructCamera::ReadFocusMode(CameraParams& params, const TextRows& names) const {
    Reading r;
    if (Read(kFocusWidget, Lookup::Named, {&params.focusMode, &params.supportedFocusMode}, r) != 0) {
        return -1;
    }
    if (r.value.has) {
        if (r.value.text == "Undefined") {
            return -1;
        }
        params.focusMode = Mapped(names, r.value.text);
    }
    for (const std::string& text : r.Texts()) {
        params.supportedFocusMode.push_back(Mapped(names, text));
    }
    return 0;
}

int AbstructCamera::GetFocusModeParam(CameraParams& params) {
    return ReadFocusMode(params, FocusNames());
}

std::string AbstructCamera::GetFocusModeParamByValue(int) {
    return std::string();
}

int AbstructCamera::SetFocusModeParam(std::string value) {
    return SetWidget({kFocusWidget}, Mapped(Reversed(FocusNames()), value));
}

int AbstructCamera::GetIsoParam(CameraParams& params) {
    return ReadList(kIsoWidget, kIsoList, params, kIsoField);
}

int AbstructCamera::SetIsoParam(std::string value) {
    return SetWidget({kIsoWidget}, value);
}

int AbstructCamera::GetIrisParam(CameraParams& params) {
    return ReadList(kIrisWidget, kIrisList, params, kIrisField);
}

int AbstructCamera::SetIrisParam(std::string value) {
    return SetWidget({kIrisWidget}, value);
}

int AbstructCamera::GetShutterSpeedParam(CameraParams& params) {
    return ReadList(kShutterWidget, kShutterList, params, kShutterField);
}

int AbstructCamera::GetShutterSpeedParamByValue(int, int, std::string&) {
    return -1;
}

int AbstructCamera::SetShutterSpeedParam(std::string value) {
    return SetWidget({kShutterWidget}, value);
}

int AbstructCamera::GetCurrentMode(CameraParams& params) {
    Reading r;
    if (Read(kModeWidget, Lookup::NamedWithResult, {}, r) != 0) {
        return -1;
    }
    if (!r.value.has) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value, ret : %#X", r.value.status);
        return -1;
    }
    params.mode = r.value.text;
    return 0;
}

int AbstructCamera::GetCurrentModeByValue(int, std::string&) {
    return -1;
}

int AbstructCamera::GetWhiteBalanceParam(CameraParams& params) {
    return ReadList(kWhiteBalanceWidget, kWhiteBalanceList, params, kWhiteBalanceField);
}

int AbstructCamera::GetWhiteBalanceParamByValue(int, std::string&) {
    return -1;
}

int AbstructCamera::SetWhiteBalanceParam(std::string value) {
    return SetWidget({kWhiteBalanceWidget}, value);
}

int AbstructCamera::EnableRecord(bool on) {
    return SetWidget({kMovieWidget}, on ? "1" : "0");
}

int AbstructCamera::GetRecordEnable(CameraParams& params, const char*) {
    Reading r;
    if (Read(kRecordStateWidget, Lookup::Named, {}, r) != 0) {
        return -1;
    }
    // Without a text the state is unknown: keep what the record says.
    if (r.value.has) {
        params.recordEnable = r.value.text != "0";
    }
    return 0;
}

int AbstructCamera::GetBatteryLevel() {
    Reading r;
    if (Read(kBatteryWidget, Lookup::Named, {}, r) != 0) {
        return -1;
    }
    // Tested on every call so that the file can be created while running.
    if (r.value.has && access(kBatteryDebugFile, F_OK) == 0) {
        ROOT_LOG(ZR_LOG_INFO, "current baytterylevel : %s", r.value.text.c_str());
    }
    return 0;
}

int AbstructCamera::QueryCameraDispMode(CameraParams&) {
    return 0;
}

int AbstructCamera::TouchFocus(int a, int b) {
    char text[50] = {0};
    std::snprintf(text, sizeof(text), "(%d, %d)", a, b);
    // The driver's touch widget is a text; served in another form, the write refuses the point.
    return SetWidget({kTouchWidget}, text);
}

int AbstructCamera::TouchFocus(int point) {
    int h = 0;
    int v = 0;
    UnpackTouchPoint(point, h, v);
    ROOT_LOG(ZR_LOG_INFO, "point (%d, %d)", h, v);
    int a = static_cast<int16_t>((m_touchHeight * v) / kTouchSurfaceHeight);
    int b = static_cast<int16_t>((m_touchWidth * h) / kTouchSurfaceWidth);
    return TouchFocus(a, b) < 0 ? -1 : 0;
}

void AbstructCamera::RegisterNotifyCallback(NotifyCallback callback, CameraParams* params) {
    m_notifyCallback = std::move(callback);
    m_camParam = params;
}
