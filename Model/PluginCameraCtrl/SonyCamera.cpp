#include "SonyCamera.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zrlog.h"

namespace {

using Body = SonyCamera::Body;
using Modes = SonyCamera::Modes;

const char kProgramWidget[] = "500e";
const char kWhiteBalanceWidget[] = "whitebalance";

// How a body words a failed widget lookup.
enum class LookupMessage { WithResult, WithName };

void LogLookupFailure(LookupMessage message, const char* name, int ret) {
    if (message == LookupMessage::WithResult) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get widget, ret : %#X", ret);
    } else {
        ROOT_LOG(ZR_LOG_ERR, "Failed to gp_camera_get_single_config to get %s widget", name);
    }
}

template <typename Row, size_t N>
const Row* RowOf(const Row (&table)[N], Body body) {
    for (const Row& row : table) {
        if (row.body == body) {
            return &row;
        }
    }
    return nullptr;
}

// Program codes of "500e" and the mode text each body shows for them; nullptr: the body
// does not know the code. The A7 IV and A7S III compare the whole value text, the others
// the low 16 bits of its number.
struct ProgramRow {
    uint16_t code;
    const char* valueText;
    const char* a7m4;
    const char* a7s3;
    const char* fx3;  // FX3, FX3A and FX30
    const char* zve10m2;
};

// clang-format off
const ProgramRow kPrograms[] = {
    // code  value text A7 IV                 A7S III             FX3, FX3A, FX30       ZV-E10 II
    {0x0001, "1",       "M",                  "M",                "M",                  "M"},
    {0x0002, "65538",   "P",                  "P",                "P",                  "P"},
    {0x0003, "131075",  "A",                  "A",                "A",                  "A"},
    {0x0004, "196612",  "S",                  "S",                "S",                  "S"},
    {0x0007, nullptr,   nullptr,              nullptr,            nullptr,              "Portrait"},
    {0x8000, "294912",  "Intelligent Auto",   "Intelligent Auto", "Intelligent Auto",   "Intelligent Auto"},
    {0x8011, nullptr,   nullptr,              nullptr,            nullptr,              "Sports Action"},
    {0x8012, nullptr,   nullptr,              nullptr,            nullptr,              "Sunset"},
    {0x8013, nullptr,   nullptr,              nullptr,            nullptr,              "Night Scene"},
    {0x8014, nullptr,   nullptr,              nullptr,            nullptr,              "Landscape"},
    {0x8015, nullptr,   nullptr,              nullptr,            nullptr,              "Macro"},
    {0x8017, nullptr,   nullptr,              nullptr,            nullptr,              "Night Portrait"},
    {0x8050, "491600",  "Movie (P)",          "Movie (P)",        "Movie (P)",          "Movie (P)"},
    {0x8051, "491601",  "Movie (A)",          "Movie (A)",        "Movie (A)",          "Movie (A)"},
    {0x8052, "491602",  "Movie (S)",          "Movie (S)",        "Movie (S)",          "Movie (S)"},
    {0x8053, "491603",  "Movie (M)",          "Movie (M)",        "Movie (M)",          "Movie (M)"},
    {0x8054, "491604",  "Movie (Scene)",      nullptr,            nullptr,              "Movie (Scene)"},
    {0x8059, "622681",  "Unknown value 8059", "S&Q (P)",          "S&Q (P)",            "S&Q (P)"},
    {0x805A, "622682",  "Unknown value 805a", "S&Q (A)",          "S&Q (A)",            "S&Q (A)"},
    {0x805B, "622683",  "Unknown value 805b", "S&Q (S)",          "S&Q (S)",            "S&Q (S)"},
    {0x805C, "622684",  "Unknown value 805c", "S&Q (M)",          "S&Q (M)",            "S&Q (M)"},
    {0x805D, "622685",  "Unknown value 805d", nullptr,            nullptr,              "S&Q (Scene)"},
    {0x8090, nullptr,   nullptr,              nullptr,            "Unknown value 8090", nullptr},
    {0x8093, nullptr,   nullptr,              nullptr,            nullptr,              "S&Q_V2 (P)"},
    {0x8094, nullptr,   nullptr,              nullptr,            nullptr,              "S&Q_V2 (A)"},
    {0x8095, nullptr,   nullptr,              nullptr,            nullptr,              "S&Q_V2 (S)"},
    {0x8096, nullptr,   nullptr,              nullptr,            nullptr,              "S&Q_V2 (M)"},
    {0x8097, nullptr,   nullptr,              nullptr,            nullptr,              "S&Q_V2 (Scene)"},
};
// clang-format on

// How each "500e" reader finds its row and what it logs on the way.
struct ProgramRead {
    Body body;
    const char* ProgramRow::*column;
    bool byLow16;  // otherwise by the whole value text
    LookupMessage lookupMessage;
    bool logValueFailure;
    int noMatchLevel;         // 0: an unknown code is stored without a word
    const char* noMatchName;  // "<name> no support mode : <value>"
};

// clang-format off
const ProgramRead kProgramReads[] = {
    {Body::A7M4,    &ProgramRow::a7m4,    false, LookupMessage::WithResult, false, 0,           nullptr},
    {Body::A7S3,    &ProgramRow::a7s3,    false, LookupMessage::WithName,   false, 0,           nullptr},
    {Body::FX3,     &ProgramRow::fx3,     true,  LookupMessage::WithName,   false, ZR_LOG_INFO, "fx3"},
    {Body::FX30,    &ProgramRow::fx3,     true,  LookupMessage::WithResult, true,  ZR_LOG_ERR,  "fx3"},
    {Body::ZVE10M2, &ProgramRow::zve10m2, true,  LookupMessage::WithName,   false, ZR_LOG_INFO, "zve10m2"},
};
// clang-format on

// A decimal 32-bit value (signed or unsigned) with optional leading blanks and sign;
// the digits end at the first other character. False when there is no number.
bool ParseProgramValue(const std::string& text, uint32_t& out) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(start, &end, 10);
    if (end == start || errno == ERANGE || value < INT32_MIN || value > static_cast<long long>(UINT32_MAX)) {
        return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
}

const char* FindByText(const ProgramRead& read, const std::string& text) {
    for (const ProgramRow& row : kPrograms) {
        if (row.valueText != nullptr && row.*read.column != nullptr && text == row.valueText) {
            return row.*read.column;
        }
    }
    return nullptr;
}

const char* FindByCode(const ProgramRead& read, uint16_t code) {
    for (const ProgramRow& row : kPrograms) {
        if (row.code == code && row.*read.column != nullptr) {
            return row.*read.column;
        }
    }
    return nullptr;
}

const Modes kA7M4FlashHidden = {"Movie (P)",          "Movie (A)",          "Movie (S)",
                                "Movie (M)",          "Movie (Scene)",      "Unknown value 8059",
                                "Unknown value 805a", "Unknown value 805b", "Unknown value 805c"};

// When a body lists the "Flash" white balance.
enum class Flash { HiddenIn, ShownOnlyIn, Never };

struct WhiteBalanceRead {
    Body body;
    LookupMessage lookupMessage;
    Flash flash;
    std::initializer_list<const Modes*> modes;
};

const Modes& kStill = SonyCamera::kStillModes;
const Modes& kA7M3Movie = SonyCamera::kExpprogramMovieModes;
const Modes& kA7M3SlowQuick = SonyCamera::kExpprogramSlowQuickModes;

// clang-format off
const WhiteBalanceRead kWhiteBalanceReads[] = {
    {Body::A7M3,    LookupMessage::WithResult, Flash::HiddenIn,    {&kA7M3Movie, &kA7M3SlowQuick}},
    {Body::A7M4,    LookupMessage::WithResult, Flash::HiddenIn,    {&kA7M4FlashHidden}},
    {Body::A7S3,    LookupMessage::WithName,   Flash::ShownOnlyIn, {&kStill}},
    {Body::ZVE10,   LookupMessage::WithName,   Flash::ShownOnlyIn, {&kStill}},
    {Body::FX3,     LookupMessage::WithName,   Flash::ShownOnlyIn, {&kStill}},
    {Body::FX30,    LookupMessage::WithResult, Flash::Never,       {}},
    {Body::ZVE10M2, LookupMessage::WithName,   Flash::ShownOnlyIn, {&kStill}},
};
// clang-format on

bool FlashListed(const WhiteBalanceRead& read, const std::string& mode) {
    bool named = std::any_of(read.modes.begin(), read.modes.end(),
                             [&](const Modes* modes) { return SonyCamera::InModes(mode, *modes); });
    switch (read.flash) {
        case Flash::HiddenIn:
            return !named;
        case Flash::ShownOnlyIn:
            return named;
        case Flash::Never:
            break;
    }
    return false;
}

}  // namespace

const SonyCamera::Modes SonyCamera::kStillModes = {"P", "A", "S", "M"};
const SonyCamera::Modes SonyCamera::kExpprogramMovieModes = {"Movie (P)", "Movie (M)", "Movie (S)",
                                                             "Movie (A)"};
const SonyCamera::Modes SonyCamera::kExpprogramSlowQuickModes = {"S&Q", "Unknown value 8085",
                                                                 "Unknown value 8086", "Unknown value 8087"};

SonyCamera::SonyCamera(_Camera* camera, _GPContext* context, CameraType type)
    : AbstructCamera(camera, context, type) {}

bool SonyCamera::InModes(const std::string& mode, const Modes& modes) {
    return std::any_of(modes.begin(), modes.end(), [&](const char* m) { return mode == m; });
}

int SonyCamera::ReadValue(CameraWidget* widget, std::string& field) {
    WidgetText value = ReadText(widget);
    if (value.has && !value.text.empty()) {
        field = value.text;
    }
    return value.status;
}

int SonyCamera::ReadProgram(CameraParams& params, Body body) const {
    const ProgramRead* read = RowOf(kProgramReads, body);
    if (read == nullptr || !CheckParams()) {
        return -1;
    }
    params.mode.clear();
    params.supportedMode.clear();
    WidgetPtr widget;
    int ret = FetchWidget(kProgramWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(read->lookupMessage, kProgramWidget, ret);
        return -1;
    }
    WidgetText value = ReadText(widget.get());
    // A numeric form holds the program value itself; its printed text may be rounded.
    if (value.has && value.numeric) {
        if (value.number != std::floor(value.number) || value.number < INT32_MIN ||
            value.number > static_cast<double>(UINT32_MAX)) {
            ROOT_LOG(ZR_LOG_ERR, "Failed, %s value is no program number : %s", kProgramWidget,
                     value.text.c_str());
            return -1;
        }
        value.text = std::to_string(static_cast<long long>(value.number));
    }
    // An empty value is no value: nothing to map.
    if (!value.has || value.text.empty()) {
        if (read->logValueFailure && value.status != GP_OK) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value, ret : %#X", value.status);
        }
        return value.status;
    }
    const char* mode = nullptr;
    if (read->byLow16) {
        uint32_t number = 0;
        if (!ParseProgramValue(value.text, number)) {
            ROOT_LOG(ZR_LOG_ERR, "Failed, %s value is no program number : %s", kProgramWidget,
                     value.text.c_str());
            return -1;
        }
        mode = FindByCode(*read, static_cast<uint16_t>(number & 0xFFFFu));
        if (mode == nullptr && read->noMatchLevel != 0) {
            ROOT_LOG(read->noMatchLevel, "%s no support mode : %s", read->noMatchName, value.text.c_str());
        }
    } else {
        mode = FindByText(*read, value.text);
    }
    // A code without row reaches the host as the number itself.
    params.mode = mode != nullptr ? mode : value.text;
    return 0;
}

int SonyCamera::ReadWhiteBalance(CameraParams& params, Body body) const {
    const WhiteBalanceRead* read = RowOf(kWhiteBalanceReads, body);
    if (read == nullptr || !CheckParams()) {
        return -1;
    }
    params.whiteBalance.clear();
    params.supportedWhiteBalance.clear();
    WidgetPtr widget;
    int ret = FetchWidget(kWhiteBalanceWidget, widget);
    if (ret != GP_OK) {
        LogLookupFailure(read->lookupMessage, kWhiteBalanceWidget, ret);
        return -1;
    }
    int status = ReadValue(widget.get(), params.whiteBalance);
    const bool flashListed = FlashListed(*read, params.mode);
    ForEachChoice(widget.get(), [&](int, const char* text) {
        if (*text != '\0' && (flashListed || std::strcmp(text, "Flash") != 0)) {
            params.supportedWhiteBalance.push_back(text);
        }
    });
    return status;
}
