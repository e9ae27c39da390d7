#include "SonyCamera.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "NumberText.h"
#include "zrlog.h"

namespace {

using Body = SonyCamera::Body;
using Modes = SonyCamera::Modes;

const char kProgramWidget[] = "500e";
const char kWhiteBalanceWidget[] = "whitebalance";

// Program codes of "500e" and the mode text each body shows for them; nullptr: the body
// does not know the code.
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

// How a body reads its exposure program: the generic "expprogram", or "500e" compared by its
// whole value text or by the low 16 bits of its number.
enum class ProgramRead { Expprogram, WholeText, Low16 };

using C = AbstructCamera;
using Lookup = C::Lookup;
using Clear = C::Clear;
using Bulb = C::Bulb;

// When "Flash" is left out of the white balances: in the programs named, in all others, always.
enum class When { In, NotIn, Always };

const Modes kMovieOrSlowQuick = {
    "Movie (P)", "Movie (M)",          "Movie (S)",          "Movie (A)",
    "S&Q",       "Unknown value 8085", "Unknown value 8086", "Unknown value 8087"};
const Modes kA7M4FlashHidden = {"Movie (P)",          "Movie (A)",          "Movie (S)",
                                "Movie (M)",          "Movie (Scene)",      "Unknown value 8059",
                                "Unknown value 805a", "Unknown value 805b", "Unknown value 805c"};
const Modes& kStill = SonyCamera::kStillModes;
const Modes kNone = {};

// The shutter-speed lists that are not the generic one (AbstructCamera::kShutterList).
// clang-format off
//                               lookup                   cleared              below two                empty  0/0    Bulb                 answers iris
const C::ListRead kA7M3Shutter = {Lookup::WithResult,      Clear::BeforeLookup, &C::FixedShutterList(), true,  false, Bulb::FirstInManual, true,   false};
const C::ListRead kFx3Shutter  = {Lookup::Named,           Clear::BeforeLookup, &C::kNothing,           true,  false, Bulb::EachFirst,     true,   false};
const C::ListRead kZvE10M2Shutter = {Lookup::NamedWithResult, Clear::AfterLookup, &C::kNothing,         true,  true,  Bulb::LeftOut,       false,  false};
// clang-format on

// What differs between the bodies' shared steps, one row per body.
struct BodyRow {
    Body body;
    ProgramRead program;
    const char* ProgramRow::*names;  // the body's column of kPrograms
    Lookup programLookup;
    bool logUnreadProgram;    // "Failed to gp_widget_get_value" when "500e" has no value
    int unknownLevel;         // "<name> no support mode : <value>" for a code without row; 0: silent
    const char* unknownName;  //
    Lookup whiteBalanceLookup;
    When flashHidden;
    const Modes* flashPrograms;
    const C::ListRead* shutter;
};

// clang-format off
const BodyRow kBodies[] = {
    // body        program                  names                 500e lookup         unread  unknown code            WB lookup           Flash hidden                       shutter list
    {Body::A7M3,    ProgramRead::Expprogram, nullptr,              Lookup::Named,      false,  0,           nullptr,   Lookup::WithResult, When::In,     &kMovieOrSlowQuick, &kA7M3Shutter},
    {Body::A7M4,    ProgramRead::WholeText,  &ProgramRow::a7m4,    Lookup::WithResult, false,  0,           nullptr,   Lookup::WithResult, When::In,     &kA7M4FlashHidden,  &C::kShutterList},
    {Body::A7S3,    ProgramRead::WholeText,  &ProgramRow::a7s3,    Lookup::Named,      false,  0,           nullptr,   Lookup::Named,      When::NotIn,  &kStill,            &C::kShutterList},
    {Body::ZVE10,   ProgramRead::Expprogram, nullptr,              Lookup::Named,      false,  0,           nullptr,   Lookup::Named,      When::NotIn,  &kStill,            &C::kShutterList},
    {Body::FX3,     ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::Named,      false,  ZR_LOG_INFO, "fx3",     Lookup::Named,      When::NotIn,  &kStill,            &kFx3Shutter},
    {Body::FX3A,    ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::Named,      false,  ZR_LOG_INFO, "fx3",     Lookup::Named,      When::NotIn,  &kStill,            &kFx3Shutter},
    {Body::FX30,    ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::WithResult, true,   ZR_LOG_ERR,  "fx3",     Lookup::WithResult, When::Always, &kNone,             &C::kShutterList},
    {Body::ZVE10M2, ProgramRead::Low16,      &ProgramRow::zve10m2, Lookup::Named,      false,  ZR_LOG_INFO, "zve10m2", Lookup::Named,      When::NotIn,  &kStill,            &kZvE10M2Shutter},
};
// clang-format on

const BodyRow& RowOf(Body body) {
    for (const BodyRow& row : kBodies) {
        if (row.body == body) {
            return row;
        }
    }
    return kBodies[0];
}

bool FlashHidden(const BodyRow& row, const std::string& mode) {
    const bool named = SonyCamera::InModes(mode, *row.flashPrograms);
    switch (row.flashHidden) {
        case When::In:
            return named;
        case When::NotIn:
            return !named;
        case When::Always:
            break;
    }
    return true;
}

// A decimal 32-bit value (signed or unsigned) with optional leading blanks and sign;
// the digits end at the first other character. False when there is no such number.
bool ParseProgramValue(const std::string& text, uint32_t& out) {
    long long value = 0;
    if (!numtext::LeadingInteger(text.c_str(), value) || value < INT32_MIN ||
        value > static_cast<long long>(UINT32_MAX)) {
        return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
}

const char* ModeOf(const BodyRow& row, const std::string& text, uint16_t code) {
    for (const ProgramRow& program : kPrograms) {
        const char* mode = program.*row.names;
        const bool match = row.program == ProgramRead::WholeText
                               ? program.valueText != nullptr && text == program.valueText
                               : program.code == code;
        if (mode != nullptr && match) {
            return mode;
        }
    }
    return nullptr;
}

}  // namespace

const SonyCamera::Modes SonyCamera::kStillModes = {"P", "A", "S", "M"};
const SonyCamera::Modes SonyCamera::kExpprogramMovieModes = {"Movie (P)", "Movie (M)", "Movie (S)",
                                                             "Movie (A)"};
const SonyCamera::Modes SonyCamera::kExpprogramSlowQuickModes = {"S&Q", "Unknown value 8085",
                                                                 "Unknown value 8086", "Unknown value 8087"};

SonyCamera::SonyCamera(_Camera* camera, _GPContext* context, CameraType type, Body body)
    : AbstructCamera(camera, context, type), m_body(body) {}

bool SonyCamera::InModes(const std::string& mode, const Modes& modes) {
    return std::any_of(modes.begin(), modes.end(), [&](const char* m) { return mode == m; });
}

bool SonyCamera::OwnRule(List, const std::string&, int, const std::string&) const {
    return false;
}

AbstructCamera::LeftOutRule SonyCamera::OwnRuleFor(List list, const std::string& mode) const {
    return [this, list, mode](int position, const std::string& text) {
        return OwnRule(list, mode, position, text);
    };
}

int SonyCamera::GetShutterSpeedParam(CameraParams& params) {
    return ReadList("shutterspeed", *RowOf(m_body).shutter, params, kShutterField,
                    OwnRuleFor(List::Shutter, params.mode));
}

int SonyCamera::GetCurrentMode(CameraParams& params) {
    const BodyRow& row = RowOf(m_body);
    if (row.program == ProgramRead::Expprogram) {
        return AbstructCamera::GetCurrentMode(params);
    }
    Reading r;
    if (Read(kProgramWidget, row.programLookup, {&params.mode, &params.supportedMode}, r) != 0) {
        return -1;
    }
    WidgetText& value = r.value;
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
    if (!r.HasText()) {
        if (row.logUnreadProgram && value.status != GP_OK) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_get_value, ret : %#X", value.status);
        }
        return value.status;
    }
    uint32_t number = 0;
    if (row.program == ProgramRead::Low16 && !ParseProgramValue(value.text, number)) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, %s value is no program number : %s", kProgramWidget,
                 value.text.c_str());
        return -1;
    }
    const char* mode = ModeOf(row, value.text, static_cast<uint16_t>(number & 0xFFFFu));
    if (mode == nullptr && row.program == ProgramRead::Low16 && row.unknownLevel != 0) {
        ROOT_LOG(row.unknownLevel, "%s no support mode : %s", row.unknownName, value.text.c_str());
    }
    // A code without row reaches the host as the number itself.
    params.mode = mode != nullptr ? mode : value.text;
    return 0;
}

int SonyCamera::GetWhiteBalanceParam(CameraParams& params) {
    const BodyRow& row = RowOf(m_body);
    const ListRead read = {
        row.whiteBalanceLookup, Clear::BeforeLookup, nullptr, true, false, Bulb::AsListed, true, false};
    const std::string mode = params.mode;
    return ReadList(
        kWhiteBalanceWidget, read, params, kWhiteBalanceField,
        [&row, &mode](int, const std::string& text) { return text == "Flash" && FlashHidden(row, mode); });
}
