#include "NikonZ8Camera.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "NumberText.h"
#include "SetRequests.h"
#include "zrlog.h"

namespace {

const char kSelectorWidget[] = "mrb-LiveViewSelector";
const char kAppModeWidget[] = "applicationmode";
const char kPhotoIsoWidget[] = "kd_nikon_photo_iso";
const char kMovieIsoWidget[] = "kd_nikon_movie_iso";
const char kPhotoIrisWidget[] = "f-number";
const char kMovieIrisWidget[] = "kd_nikon_movie_f_numer";
const char kShutterWidget[] = "shutterspeed2";
const char kWhiteBalanceWidget[] = "whitebalance";
const char kFocusWidget[] = "focusmode";
const char kMovieWidget[] = "movie";

// Touch scale factor by coordinate: each row covers lower <= v < upper.
struct TouchRow {
    int upper;
    int lower;
    int factor;
};

// Horizontal coordinate 0..1919.
const TouchRow kTouchRowsX[] = {
    {270, 0, 400},     {350, 270, 500},   {400, 350, 600},   {500, 400, 650},   {580, 500, 700},
    {680, 580, 750},   {730, 680, 780},   {930, 730, 800},   {1000, 930, 825},  {1240, 1000, 850},
    {1485, 1240, 870}, {1517, 1485, 900}, {1540, 1517, 870}, {1920, 1540, 890},
};

// Vertical coordinate 0..1079, used in movie mode only.
const TouchRow kTouchRowsY[] = {
    {230, 0, 300},   {280, 230, 350}, {350, 280, 400}, {400, 350, 450}, {444, 400, 460}, {520, 444, 450},
    {534, 520, 500}, {630, 534, 470}, {680, 630, 475}, {785, 680, 500}, {800, 785, 470}, {1080, 800, 500},
};

// Numeric codes of the camera's events and the texts the host sees for them.
struct CodeText {
    int code;
    const char* text;
};

const CodeText kModeCodes[] = {
    {1, "M"},
    {2, "P"},
    {3, "A"},
    {4, "S"},
};

const CodeText kFocusCodes[] = {
    {1, "MF"},
    {0x8010, "AF-S"},  // 32784
    {0x8011, "AF-C"},  // 32785
    {0x8013, "AF-F"},  // 32787
};

// The white balances in the order of the camera's own list, with their event codes.
const CodeText kWhiteBalances[] = {
    {2, "Automatic"},   {0x8016, "Natural light auto"},  // 32790
    {4, "Daylight"},    {0x8010, "Cloudy"},              // 32784
    {0x8011, "Shade"},                                   // 32785
    {6, "Tungsten"},    {5, "Fluorescent"},
    {7, "Flash"},       {0x8012, "Color Temperature"},  // 32786
    {0x8013, "Preset"},                                 // 32787
};

bool IsWhiteBalanceName(const std::string& text) {
    return std::any_of(std::begin(kWhiteBalances), std::end(kWhiteBalances),
                       [&](const CodeText& row) { return text == row.text; });
}

template <size_t N>
const char* TextOfCode(const CodeText (&table)[N], int code) {
    for (const CodeText& row : table) {
        if (row.code == code) {
            return row.text;
        }
    }
    return nullptr;
}

// Offered when the camera lists fewer than two shutter speeds.
const std::vector<std::string> kShutterFallback = {
    "Bulb",   "30",     "25",      "20",      "15",      "13",      "10",      "8",      "6",
    "5",      "4",      "3",       "2.5",     "2",       "1.6",     "1.3",     "1",      "1/1.3",
    "1/1.6",  "1/2",    "1/2.5",   "1/3",     "1/4",     "1/5",     "1/6",     "1/8",    "1/10",
    "1/13",   "1/15",   "1/20",    "1/25",    "1/30",    "1/40",    "1/50",    "1/60",   "1/80",
    "1/100",  "1/125",  "1/160",   "1/200",   "1/250",   "1/320",   "1/400",   "1/500",  "1/640",
    "1/800",  "1/1000", "1/1250",  "1/1600",  "1/2000",  "1/2500",  "1/3200",  "1/4000", "1/5000",
    "1/6400", "1/8000", "1/10000", "1/13000", "1/16000", "1/20000", "1/26000", "1/32000"};

using C = AbstructCamera;
// clang-format off
//                     lookup                      cleared                  below two           empty  0/0    Bulb                answers iris
const C::ListRead kIris    = {C::Lookup::NamedWithResult, C::Clear::BeforeLookup, &C::FixedIrisList(), false, false, C::Bulb::AsListed, true,   true};
const C::ListRead kShutter = {C::Lookup::NamedWithResult, C::Clear::AfterLookup,  &kShutterFallback,   false, true,  C::Bulb::AsListed, false,  false};
// clang-format on

// Widget of the photo/movie pair that matches the camera's mode.
const char* ModeWidget(const char* photo, const char* movie, bool movieMode) {
    return movieMode ? movie : photo;
}

// The camera's focus names differ from the generic camera's in one: "Automatic" stays.
const AbstructCamera::TextRows kFocusNames = {{"Manual", "MF"}};

// The selector as an integer: toggles, dates and ranges hold one, texts spell one.
int ReadInteger(const WidgetText& value, int& out) {
    if (!value.has) {
        return value.status != GP_OK ? value.status : GP_ERROR_BAD_PARAMETERS;
    }
    if (value.numeric) {
        if (value.number != std::floor(value.number) || value.number < INT_MIN || value.number > INT_MAX) {
            return GP_ERROR_BAD_PARAMETERS;
        }
        out = static_cast<int>(value.number);
        return GP_OK;
    }
    if (!numtext::WholeInt(value.text, out)) {
        return GP_ERROR_BAD_PARAMETERS;
    }
    return GP_OK;
}

}  // namespace

NikonZ8Camera::NikonZ8Camera(_Camera* camera, _GPContext* context, CameraType type)
    : AbstructCamera(camera, context, type) {
    for (const TouchRow& row : kTouchRowsX) {
        m_touchRangesX.emplace(XPointRange(row.upper, row.lower), row.factor);
    }
    for (const TouchRow& row : kTouchRowsY) {
        m_touchRangesY.emplace(XPointRange(row.upper, row.lower), row.factor);
    }
}

NikonZ8Camera::~NikonZ8Camera() = default;

template <typename T>
void NikonZ8Camera::Notify(T CameraParams::*field, const T& value) {
    if (m_camParam == nullptr) {
        return;
    }
    m_camParam->*field = value;
    if (m_notifyCallback) {
        m_notifyCallback(m_camParam);
    }
}

int NikonZ8Camera::QueryCameraDispMode(CameraParams& params) {
    Reading r;
    if (Read(kSelectorWidget, Lookup::Named, {}, r) != 0) {
        return -1;
    }
    int selector = 0;
    int ret = ReadInteger(r.value, selector);
    if (ret == GP_OK) {
        m_recordModeActive = selector == 1;
        params.dispMode = m_recordModeActive;
    }
    if (!m_recordInitDone) {
        InitRecord();
        m_recordInitDone = true;
    }
    return ret;
}

int NikonZ8Camera::InitRecord() {
    return SetWidget({kAppModeWidget, Lookup::WithResult}, "1");
}

int NikonZ8Camera::GetIsoParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    QueryCameraDispMode(params);
    // Outside manual exposure the camera chooses the movie ISO itself.
    const bool autoIso = params.dispMode && params.mode != "M";
    return ReadList(ModeWidget(kPhotoIsoWidget, kMovieIsoWidget, params.dispMode), kIsoList, params,
                    kIsoField, nullptr, nullptr,
                    [autoIso](const std::string& value) { return autoIso ? "Auto" : value; });
}

int NikonZ8Camera::GetIrisParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    QueryCameraDispMode(params);
    return ReadList(ModeWidget(kPhotoIrisWidget, kMovieIrisWidget, params.dispMode), kIris, params,
                    kIrisField);
}

int NikonZ8Camera::SetModeDependent(const char* photo, const char* movie, const std::string& value) {
    // A failed query leaves the fresh record in photo mode.
    CameraParams current;
    QueryCameraDispMode(current);
    return SetWidget({ModeWidget(photo, movie, current.dispMode)}, value);
}

int NikonZ8Camera::SetIsoParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    if (SetModeDependent(kPhotoIsoWidget, kMovieIsoWidget, value) != 0) {
        return -1;
    }
    Notify(&CameraParams::iso, value);
    return 0;
}

int NikonZ8Camera::SetIrisParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "===== SetIrisParam value : %s ====", value.c_str());
    if (SetModeDependent(kPhotoIrisWidget, kMovieIrisWidget, value) != 0) {
        return -1;
    }
    Notify(&CameraParams::iris, value);
    return 0;
}

int NikonZ8Camera::GetShutterSpeedParam(CameraParams& params) {
    bool fellBack = false;
    if (ReadList(kShutterWidget, kShutter, params, kShutterField, nullptr, &fellBack) != 0) {
        return -1;
    }
    if (!fellBack) {
        ROOT_LOG(ZR_LOG_INFO, "param.supportedShutterSpeed.size : %d",
                 static_cast<int>(params.supportedShutterSpeed.size()));
    }
    return 0;
}

int NikonZ8Camera::GetShutterSpeedParamByValue(int numerator, int denominator, std::string& out) {
    ROOT_LOG(ZR_LOG_INFO, "===== Enter num:%d, den:%d =====", numerator, denominator);
    // 64 bits: INT_MIN / -1 must not overflow.
    const int64_t num = numerator;
    const int64_t den = denominator;
    char text[20] = {0};
    if (num == 0 || den == 0) {
        // No exposure time: an empty text leaves the record's value alone.
    } else if (num % den == 0) {
        std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(num / den));
    } else if (num < den && den % num == 0) {
        std::snprintf(text, sizeof(text), "1/%lld", static_cast<long long>(den / num));
    } else if (num < den) {
        std::snprintf(text, sizeof(text), "1/%.1f", static_cast<double>(den) / static_cast<double>(num));
    } else {
        std::snprintf(text, sizeof(text), "%.1f", static_cast<double>(num) / static_cast<double>(den));
    }
    out = text;
    if (numerator == 65535 && denominator == 65535) {
        out = "Bulb";
    } else if (numerator == 65535 && denominator == 65533) {
        out = "Time";
    }
    ROOT_LOG(ZR_LOG_INFO, "===== Enter dst : %s =====", out.c_str());
    return 0;
}

int NikonZ8Camera::SetShutterSpeedParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "SetShutterSpeedParam");
    auto logValue = [](std::string& text) { ROOT_LOG(ZR_LOG_INFO, "ShutterSpeed: %s", text.c_str()); };
    if (SetWidget({kShutterWidget}, value, logValue) != 0) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "SetShutterSpeedParam");
    Notify(&CameraParams::shutterSpeed, value);
    return 0;
}

int NikonZ8Camera::GetCurrentModeByValue(int value, std::string& out) {
    const char* text = TextOfCode(kModeCodes, value);
    if (text == nullptr) {
        return -1;
    }
    out = text;
    return 0;
}

std::string NikonZ8Camera::GetFocusModeParamByValue(int value) {
    const char* text = TextOfCode(kFocusCodes, value);
    return text != nullptr ? text : std::string();
}

int NikonZ8Camera::GetFocusModeParam(CameraParams& params) {
    return ReadFocusMode(params, kFocusNames);
}

int NikonZ8Camera::SetFocusModeParam(std::string value) {
    std::printf("Enter %s \n", "SetFocusModeParam");
    WriteTo focus{kFocusWidget};
    focus.child = true;
    focus.sendFailureResult = true;
    return SetWidget(focus, Mapped(Reversed(kFocusNames), value));
}

int NikonZ8Camera::GetWhiteBalanceParam(CameraParams& params) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "GetWhiteBalanceParam IS %s", params.whiteBalance.c_str());
    if (ReadList(kWhiteBalanceWidget, kWhiteBalanceList, params, kWhiteBalanceField) != 0) {
        return -1;
    }
    // The camera's own names take the places where it lists them, in the order of the table: a
    // body that offers all ten lists them as the table has them, one that offers fewer lists
    // exactly those. Other choices keep their place.
    Strings& list = params.supportedWhiteBalance;
    std::vector<const char*> offered;
    for (const CodeText& row : kWhiteBalances) {
        if (std::find(list.begin(), list.end(), row.text) != list.end()) {
            offered.push_back(row.text);
        }
    }
    size_t next = 0;
    for (std::string& text : list) {
        if (next < offered.size() && IsWhiteBalanceName(text)) {
            text = offered[next++];
        }
    }
    return 0;
}

int NikonZ8Camera::GetWhiteBalanceParamByValue(int value, std::string& out) {
    const char* text = TextOfCode(kWhiteBalances, value);
    if (text != nullptr) {
        out = text;
    }
    return 0;
}

int NikonZ8Camera::SetWhiteBalanceParam(std::string value) {
    if (!CheckParams()) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "====== SetWhiteBalanceParam value : %s =======", value.c_str());
    if (SetWidget({kWhiteBalanceWidget}, value) != 0) {
        return -1;
    }
    ROOT_LOG(ZR_LOG_INFO, "======== Notify m_camParam:%p =======", static_cast<void*>(m_camParam));
    Notify(&CameraParams::whiteBalance, value);
    return 0;
}

int NikonZ8Camera::EnableRecord(bool on) {
    std::printf("Enter %s \n", "EnableRecord");
    if (!CheckParams()) {
        return -1;
    }
    if (!m_recordModeActive) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, current is not record mode");
        return -1;
    }
    WriteTo movie{kMovieWidget};
    movie.child = true;
    movie.refusedLevel = ZR_LOG_ERR;
    if (SetWidget(movie, on ? "1" : "0") != 0) {
        return -1;
    }
    Notify(&CameraParams::recordEnable, on);
    if (!on) {
        InitRecord();
    }
    return 0;
}

int NikonZ8Camera::GetRecordEnable(CameraParams&, const char*) {
    // The state arrives with the camera's recording events and EnableRecord's own notify.
    return 0;
}

int NikonZ8Camera::TouchFocus(int point) {
    if (!CheckParams()) {
        return -1;
    }
    int h = 0;
    int v = 0;
    UnpackTouchPoint(point, h, v);
    ROOT_LOG(ZR_LOG_INFO, "point (%d, %d)", h, v);
    CameraParams current;
    QueryCameraDispMode(current);
    m_touchScaleY = 545;
    int factor = 0;
    if (m_touchRangesX.Lookup(h, factor)) {
        m_touchScaleX = factor;
    }
    if (m_recordModeActive && m_touchRangesY.Lookup(v, factor)) {
        m_touchScaleY = factor;
    }
    int a = static_cast<int16_t>((m_touchScaleX * h) / kTouchSurfaceWidth);
    int b = static_cast<int16_t>((m_touchScaleY * v) / kTouchSurfaceHeight);
    return TouchFocus(a, b) < 0 ? -1 : 0;
}
