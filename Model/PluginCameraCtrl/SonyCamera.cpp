#include "SonyCamera.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

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

using Lookup = AbstructCamera::Lookup;

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
};

// clang-format off
const BodyRow kBodies[] = {
    // body        program                  names                 500e lookup         unread  unknown code            WB lookup
    {Body::A7M3,    ProgramRead::Expprogram, nullptr,              Lookup::Named,      false,  0,           nullptr,   Lookup::WithResult},
    {Body::A7M4,    ProgramRead::WholeText,  &ProgramRow::a7m4,    Lookup::WithResult, false,  0,           nullptr,   Lookup::WithResult},
    {Body::A7S3,    ProgramRead::WholeText,  &ProgramRow::a7s3,    Lookup::Named,      false,  0,           nullptr,   Lookup::Named},
    {Body::ZVE10,   ProgramRead::Expprogram, nullptr,              Lookup::Named,      false,  0,           nullptr,   Lookup::Named},
    {Body::FX3,     ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::Named,      false,  ZR_LOG_INFO, "fx3",     Lookup::Named},
    {Body::FX3A,    ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::Named,      false,  ZR_LOG_INFO, "fx3",     Lookup::Named},
    {Body::FX30,    ProgramRead::Low16,      &ProgramRow::fx3,     Lookup::WithResult, true,   ZR_LOG_ERR,  "fx3",     Lookup::WithResult},
    {Body::ZVE10M2, ProgramRead::Low16,      &ProgramRow::zve10m2, Lookup::Named,      false,  ZR_LOG_INFO, "zve10m2", Lookup::Named},
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

// Which choices a body's list leaves out while the camera is in some programs: positions
// (inclusive ranges) or entries. The first rule of a body and list whose programs match decides.
enum class When { In, NotIn, Always };
struct ListRule {
    Body body;
    SonyCamera::List list;
    When when;
    std::initializer_list<const Modes*> programs;
    std::initializer_list<std::pair<int, int>> positions;
    std::initializer_list<const char*> entries;
    bool ignoringCase;
};

const Modes& kStill = SonyCamera::kStillModes;
const Modes& kMovie = SonyCamera::kExpprogramMovieModes;
const Modes& kSlowQuick = SonyCamera::kExpprogramSlowQuickModes;
const Modes kScene = {"Portrait", "Macro", "Landscape", "Sunset", "Night Scene", "Night Portrait"};
const Modes kSports = {"Sports Action"};
const Modes kA7M4FlashHidden = {"Movie (P)",          "Movie (A)",          "Movie (S)",
                                "Movie (M)",          "Movie (Scene)",      "Unknown value 8059",
                                "Unknown value 805a", "Unknown value 805b", "Unknown value 805c"};
const Modes kFx3aNoBulb = {"S", "Unknown value 8090", "S&Q (S)", "S&Q (M)", "Movie (S)", "Movie (M)"};
const Modes kManual = {"M"};

using List = SonyCamera::List;
constexpr List kFocus = List::Focus;
constexpr List kIso = List::Iso;
constexpr List kShutter = List::Shutter;
constexpr List kWhiteBalance = List::WhiteBalance;
constexpr std::pair<int, int> From(int first) {
    return {first, INT_MAX};
}
constexpr std::pair<int, int> UpTo(int last) {
    return {INT_MIN, last};
}

// clang-format off
const ListRule kRules[] = {
    // The A7 III's lists hold fixed positions; what each program cannot use is left out.
    {Body::A7M3,    kFocus,        When::In,     {&kSports},          {{1, 1}, {3, 3}},         {},               false},
    {Body::A7M3,    kFocus,        When::In,     {&kScene},           {{2, 3}},                 {},               false},
    {Body::A7M3,    kFocus,        When::In,     {&kMovie, &kSlowQuick}, {{1, 1}, {3, 4}},      {},               false},
    {Body::A7M3,    kIso,          When::In,     {&kMovie, &kSlowQuick}, {{1, 4}, From(36)},   {},               false},
    {Body::A7M3,    kIso,          When::Always, {},                  {{1, 1}, From(39)},      {},               false},
    {Body::A7M3,    kShutter,      When::In,     {&kStill},           {{55, 60}},               {},               false},
    {Body::A7M3,    kShutter,      When::In,     {&kMovie},           {UpTo(20), {55, 60}},    {},               false},
    {Body::A7M3,    kShutter,      When::In,     {&kSlowQuick},       {UpTo(32), {55, 60}},    {},               false},
    {Body::FX3A,    kShutter,      When::In,     {&kFx3aNoBulb},      {},                       {"Bulb"},         false},
    {Body::FX3A,    kShutter,      When::In,     {&kManual},          {},                       {"0/0"},          false},
    {Body::ZVE10M2, kShutter,      When::Always, {},                  {},                       {"0/0", "Bulb"},  true},
    // "Flash" as a white balance.
    {Body::A7M3,    kWhiteBalance, When::In,     {&kMovie, &kSlowQuick}, {},                    {"Flash"},        false},
    {Body::A7M4,    kWhiteBalance, When::In,     {&kA7M4FlashHidden}, {},                       {"Flash"},        false},
    {Body::A7S3,    kWhiteBalance, When::NotIn,  {&kStill},           {},                       {"Flash"},        false},
    {Body::ZVE10,   kWhiteBalance, When::NotIn,  {&kStill},           {},                       {"Flash"},        false},
    {Body::FX3,     kWhiteBalance, When::NotIn,  {&kStill},           {},                       {"Flash"},        false},
    {Body::FX3A,    kWhiteBalance, When::NotIn,  {&kStill},           {},                       {"Flash"},        false},
    {Body::FX30,    kWhiteBalance, When::Always, {},                  {},                       {"Flash"},        false},
    {Body::ZVE10M2, kWhiteBalance, When::NotIn,  {&kStill},           {},                       {"Flash"},        false},
};
// clang-format on

bool Applies(const ListRule& rule, const std::string& mode) {
    const bool named = std::any_of(rule.programs.begin(), rule.programs.end(),
                                   [&](const Modes* modes) { return SonyCamera::InModes(mode, *modes); });
    switch (rule.when) {
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

bool SonyCamera::LeftOut(List list, const std::string& mode, int position, const std::string& text) const {
    for (const ListRule& rule : kRules) {
        if (rule.body != m_body || rule.list != list || !Applies(rule, mode)) {
            continue;
        }
        const bool atPosition = std::any_of(
            rule.positions.begin(), rule.positions.end(),
            [&](const std::pair<int, int>& r) { return r.first <= position && position <= r.second; });
        const bool isEntry = std::any_of(rule.entries.begin(), rule.entries.end(), [&](const char* entry) {
            return rule.ignoringCase ? strcasecmp(entry, text.c_str()) == 0 : text == entry;
        });
        return atPosition || isEntry;
    }
    return false;
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
    Reading r;
    if (Read(kWhiteBalanceWidget, RowOf(m_body).whiteBalanceLookup,
             {&params.whiteBalance, &params.supportedWhiteBalance}, r) != 0) {
        return -1;
    }
    if (r.HasText()) {
        params.whiteBalance = r.value.text;
    }
    for (const auto& choice : r.choices) {
        if (!choice.second.empty() &&
            !LeftOut(List::WhiteBalance, params.mode, choice.first, choice.second)) {
            params.supportedWhiteBalance.push_back(choice.second);
        }
    }
    return r.value.status;
}
