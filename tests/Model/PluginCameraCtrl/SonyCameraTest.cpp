// The Sony bodies: the program from "500e" by its whole text or its low 16 bits, each body's flash
// rule, the lists the A7 III filters by position and the others by rule, the A7 III's read-back.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "CameraBodies.h"

namespace {

// The programs as the bodies are documented to show them: the code, the value text the whole-text bodies
// compare, and the mode each body shows; nullptr: the body knows no such program and shows the
// value itself.
struct ProgramRow {
    unsigned code;
    const char* value;
    const char* a7m4;     // by the whole value text
    const char* a7s3;     // by the whole value text
    const char* fx3;      // by the low 16 bits, also the FX3A and FX30
    const char* zve10m2;  // by the low 16 bits
};
// clang-format off
const ProgramRow kPrograms[] = {
    {0x0001, "1",      "M",                  "M",                "M",                  "M"},
    {0x0002, "65538",  "P",                  "P",                "P",                  "P"},
    {0x0003, "131075", "A",                  "A",                "A",                  "A"},
    {0x0004, "196612", "S",                  "S",                "S",                  "S"},
    {0x0007, nullptr,  nullptr,              nullptr,            nullptr,              "Portrait"},
    {0x8000, "294912", "Intelligent Auto",   "Intelligent Auto", "Intelligent Auto",   "Intelligent Auto"},
    {0x8011, nullptr,  nullptr,              nullptr,            nullptr,              "Sports Action"},
    {0x8012, nullptr,  nullptr,              nullptr,            nullptr,              "Sunset"},
    {0x8013, nullptr,  nullptr,              nullptr,            nullptr,              "Night Scene"},
    {0x8014, nullptr,  nullptr,              nullptr,            nullptr,              "Landscape"},
    {0x8015, nullptr,  nullptr,              nullptr,            nullptr,              "Macro"},
    {0x8017, nullptr,  nullptr,              nullptr,            nullptr,              "Night Portrait"},
    {0x8050, "491600", "Movie (P)",          "Movie (P)",        "Movie (P)",          "Movie (P)"},
    {0x8051, "491601", "Movie (A)",          "Movie (A)",        "Movie (A)",          "Movie (A)"},
    {0x8052, "491602", "Movie (S)",          "Movie (S)",        "Movie (S)",          "Movie (S)"},
    {0x8053, "491603", "Movie (M)",          "Movie (M)",        "Movie (M)",          "Movie (M)"},
    {0x8054, "491604", "Movie (Scene)",      nullptr,            nullptr,              "Movie (Scene)"},
    {0x8059, "622681", "Unknown value 8059", "S&Q (P)",          "S&Q (P)",            "S&Q (P)"},
    {0x805A, "622682", "Unknown value 805a", "S&Q (A)",          "S&Q (A)",            "S&Q (A)"},
    {0x805B, "622683", "Unknown value 805b", "S&Q (S)",          "S&Q (S)",            "S&Q (S)"},
    {0x805C, "622684", "Unknown value 805c", "S&Q (M)",          "S&Q (M)",            "S&Q (M)"},
    {0x805D, "622685", "Unknown value 805d", nullptr,            nullptr,              "S&Q (Scene)"},
    {0x8090, nullptr,  nullptr,              nullptr,            "Unknown value 8090", nullptr},
    {0x8093, nullptr,  nullptr,              nullptr,            nullptr,              "S&Q_V2 (P)"},
    {0x8094, nullptr,  nullptr,              nullptr,            nullptr,              "S&Q_V2 (A)"},
    {0x8095, nullptr,  nullptr,              nullptr,            nullptr,              "S&Q_V2 (S)"},
    {0x8096, nullptr,  nullptr,              nullptr,            nullptr,              "S&Q_V2 (M)"},
    {0x8097, nullptr,  nullptr,              nullptr,            nullptr,              "S&Q_V2 (Scene)"},
};
// clang-format on

// Each "500e" body, its column, and its line for a program it does not know.
const std::pair<CameraType, std::pair<const char * ProgramRow::*, std::string>> kColumns[] = {
    {SonyA7M4, {&ProgramRow::a7m4, ""}},     {SonyA7S3, {&ProgramRow::a7s3, ""}},
    {SonyFX3, {&ProgramRow::fx3, "5 fx3"}},  {SonyFX3A, {&ProgramRow::fx3, "5 fx3"}},
    {SonyFX30, {&ProgramRow::fx3, "2 fx3"}}, {SonyZVE10M2, {&ProgramRow::zve10m2, "5 zve10m2"}}};

TEST(SonyProgram, EveryProgramValueGivesTheModeOfEachBody) {
    for (const auto& column : kColumns) {
        Body body(column.first);
        const std::string& unknown = column.second.second;
        const bool byText = unknown.empty();
        for (const ProgramRow& row : kPrograms) {
            // A whole-text body is given the row's text; the others the code under a program group.
            if (byText && row.value == nullptr)
                continue;
            const std::string value = byText ? row.value : std::to_string((7u << 16) | row.code);
            ASSERT_EQ(body.sim().SetValue("500e", value), 0);
            CameraParams p = Stale();
            EXPECT_EQ(body.camera->GetCurrentMode(p), 0);
            const char* mode = row.*column.second.first;
            EXPECT_EQ(p.mode, mode ? mode : value) << column.first << " " << value;
            EXPECT_TRUE(p.supportedMode.empty());
            EXPECT_EQ(body.Logged(),
                      (mode || byText ? Strings{} : Strings{unknown + " no support mode : " + value}));
        }
    }
    // clang-format off
    CheckReads({
        // The whole text is compared, or the low 16 bits of whatever number leads it; no number fails.
        {SonyA7M4, kGetMode, "500e", {}, "2", "P", "2", {}},    {SonyFX3, kGetMode, "500e", {}, "2", "M", "P", {}},
        {SonyZVE10M2, kGetMode, "500e", {}, "-2147483649", "M", "", {}, -1, VF::None,
         "2 Failed, 500e value is no program number : -2147483649"},
        {SonyFX3, kGetMode, "500e", {}, "P", "M", "", {}, -1, VF::None, "2 Failed, 500e value is no program number : P"},
        {SonyFX30, kGetMode, "500e", {}, "", "M", "", {}, GP_ERROR_BAD_PARAMETERS, VF::Typeless,
         "2 Failed to gp_widget_get_value, ret : 0XFFFFFFFE"},
        // A numeric form holds the program value itself; a fraction is no program.
        After({Served("500e", camsim::WidgetKind::Date)}, {SonyA7M4, kGetMode, "500e", {}, "65538", "M", "P", {}}),
        After({Served("500e", camsim::WidgetKind::Range)}, {SonyFX3, kGetMode, "500e", {}, "65539.5", "P", "", {}, -1,
                                                            VF::None, "2 Failed, 500e value is no program number : 65539.5"}),
    });
    // clang-format on
}

// "Flash" as a white balance, in the programs of each body's rule; the current value is never hidden.
TEST(SonyWhiteBalance, FlashIsOfferedInTheProgramsOfEachBodysRule) {
    // clang-format off
    const Strings wb = {"Automatic", "Flash", "", "flash", "Daylight"};
    const Strings shown = {"Automatic", "Flash", "flash", "Daylight"}, hidden = {"Automatic", "flash", "Daylight"};
    const Strings still = {"P", "A", "S", "M"}, movie = {"Movie (P)", "Movie (M)", "Movie (S)", "Movie (A)"};
    const Strings slowQuick = {"S&Q", "Unknown value 8085", "Unknown value 8086", "Unknown value 8087"};
    const Strings a7m4Movie = {"Movie (P)",          "Movie (A)",          "Movie (S)",
                               "Movie (M)",          "Movie (Scene)",      "Unknown value 8059",
                               "Unknown value 805a", "Unknown value 805b", "Unknown value 805c"};
    const Strings others = {"Intelligent Auto", "Movie (M)", "", "m", "S&Q (P)"};
    auto join = [](Strings a, const Strings& b) { return a.insert(a.end(), b.begin(), b.end()), a; };
    const std::pair<CameraType, std::pair<Strings, Strings>> rules[] = {  // programs with Flash, without it
        {SonyA7M3, {join(still, {"Portrait", "Intelligent Auto", ""}), join(movie, slowQuick)}},
        {SonyA7M4, {join(still, {"Unknown value 805d", "S&Q (P)", "Intelligent Auto"}), a7m4Movie}},
        {SonyA7S3, {still, others}}, {SonyZVE10, {still, others}}, {SonyFX3, {still, others}},
        {SonyFX3A, {still, others}}, {SonyFX30, {{}, join(still, others)}}, {SonyZVE10M2, {still, others}},
    };
    // clang-format on
    std::vector<Read> reads;
    for (const auto& [type, modes] : rules) {
        for (const std::string& mode : modes.first)
            reads.push_back({type, kGetWb, "whitebalance", wb, "Flash", mode.c_str(), "Flash", shown});
        for (const std::string& mode : modes.second)
            reads.push_back({type, kGetWb, "whitebalance", wb, "Flash", mode.c_str(), "Flash", hidden});
    }
    CheckReads(reads);
}

// The A7 III's choices named by position, in the order given (-1: "Bulb").
Strings Named(const std::string& stem, const std::vector<std::pair<int, int>>& spans) {
    Strings out;
    for (const auto& [first, last] : spans)
        for (int i = first; i <= last; ++i)
            out.push_back(i < 0 ? "Bulb" : stem + std::to_string(i));
    return out;
}

TEST(SonyLists, TheA7IIIListsByPositionAndProgramGroupTheFx3AndZvE10IIByTheirRules) {
    // clang-format off
    const Strings six = {"Whatever", "Other", "X", "Y", "Z", "Sixth"};  // 0 and 1: manual and single AF
    const Strings iso = Named("i", {{0, 39}}), shutter = Named("s", {{0, 61}}), &fixed = C::FixedShutterList();
    const Strings noBulbFixed(fixed.begin() + 1, fixed.end());
    const Strings fx = {"1/50", "Bulb", "", "0/0", "1/100"}, bulbs = {"bulb", "1/50", "BULB", "Bulb"};
    const Strings all = {"Bulb", "1/50", "0/0", "1/100"}, noBulb = {"1/50", "0/0", "1/100"};
    const CameraType A7M3 = SonyA7M3, FX3 = SonyFX3, FX3A = SonyFX3A, ZVE10M2 = SonyZVE10M2;
    // The A7 III's lists in every program of each of its documented groups: focus entries,
    // ISO positions, shutter positions (-1: "Bulb").
    using Spans = std::vector<std::pair<int, int>>;
    const Strings focus = {"AF-S", "Y", "X", "Z", "MF"};
    const Spans isoStill = {{0, 0}, {2, 38}}, isoMovie = {{0, 0}, {5, 35}}, allShutter = {{0, 61}};
    const std::tuple<Strings, Strings, Spans, Spans> groups[] = {
        {{"P", "A", "S"}, focus, isoStill, {{0, 54}, {61, 61}}},
        {{"M"}, focus, isoStill, {{-1, -1}, {0, 54}, {61, 61}}},
        {{"Portrait", "Macro", "Landscape", "Sunset", "Night Scene", "Night Portrait"}, {"AF-S", "Z", "MF"}, isoStill, allShutter},
        {{"Sports Action"}, {"X", "Z", "MF"}, isoStill, allShutter},
        {{"Movie (P)", "Movie (M)", "Movie (S)", "Movie (A)"}, {"X", "MF"}, isoMovie, {{21, 54}, {61, 61}}},
        {{"S&Q", "Unknown value 8085", "Unknown value 8086", "Unknown value 8087"}, {"X", "MF"}, isoMovie, {{33, 54}, {61, 61}}},
        {{"Intelligent Auto", "m"}, focus, isoStill, allShutter},
    };
    std::vector<Read> reads;
    for (const auto& [modes, focusList, isoSpans, shutterSpans] : groups) {
        for (const std::string& m : modes) {
            reads.push_back({A7M3, kGetFocus, "focusmode", six, "Manual", m.c_str(), "MF", focusList});
            reads.push_back({A7M3, kGetIso, "iso", iso, "i7", m.c_str(), "i7", Named("i", isoSpans)});
            reads.push_back({A7M3, kGetShutter, "shutterspeed", shutter, "s40", m.c_str(), "s40", Named("s", shutterSpans)});
        }
    }
    for (const char* m : {"S", "Unknown value 8090", "S&Q (S)", "S&Q (M)", "Movie (S)", "Movie (M)"})
        reads.push_back({FX3A, kGetShutter, "shutterspeed", fx, "1/100", m, "1/100", noBulb});
    CheckReads(reads);
    CheckReads({
        {A7M3, kGetFocus, "focusmode", six, "Undefined", "P", "", {}, -1},
        {A7M3, kGetIso, "iso", {"AUTO"}, "AUTO", "P", "AUTO", {"AUTO"}},  // no fallback list
        {A7M3, kGetShutter, "shutterspeed", {"30"}, "30", "M", "30", fixed},
        {A7M3, kGetShutter, "shutterspeed", {"30", "1/250"}, "", "P", "", noBulbFixed, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {FX3, kGetShutter, "shutterspeed", fx, "1/100", "M", "1/100", all},
        {FX3, kGetShutter, "shutterspeed", bulbs, "1/100", "M", "1/100", {"Bulb", "bulb", "1/50", "BULB"}},
        {FX3, kGetShutter, "shutterspeed", {"1/100"}, "1/100", "M", "1/100", {}},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "P", "1/100", all},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "M", "1/100", {"Bulb", "1/50", "1/100"}},
        {ZVE10M2, kGetShutter, "shutterspeed", fx, "1/100", "M", "1/100", {"1/50", "1/100"}},
        {ZVE10M2, kGetShutter, "shutterspeed", bulbs, "1/100", "P", "1/100", {"1/50"}},
        {ZVE10M2, kGetShutter, "shutterspeed", {"1/100"}, "1/100", "M", "1/100", {}},
    });
    // clang-format on
}

TEST(SonyA7M3, AShutterSetCountsOnlyWhenTheCameraReportsTheValueBack) {
    Body body(SonyA7M3);
    body.sim().SetChoices("shutterspeed", {"1/200", "1/250"});
    body.sim().SetValue("shutterspeed", "1/200");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(body.camera->SetShutterSpeedParam("1/250"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95))
        << "it waits for the camera";
    EXPECT_EQ(body.Sent(), Strings{"shutterspeed=1/250"});
    ASSERT_EQ(body.sim().SetValue("shutterspeed", "1/200") + body.sim().SetStubborn("shutterspeed", true), 0);
    EXPECT_EQ(body.camera->SetShutterSpeedParam("1/250"), -1);
    EXPECT_EQ(body.Sent(), Strings{"shutterspeed=1/250"});
    EXPECT_EQ(body.Logged(2), Strings{"2 Failed to gp_camera_get_single_config to get widget"});
}

}  // namespace
