// The Sony bodies: the program from "500e" by its whole text or its low 16 bits, each body's flash
// rule, the lists the A7 III filters by position and the others by rule, the A7 III's read-back.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <chrono>

#include "CameraBodies.h"

namespace {

// "500e" values real bodies report (program group in the high half, code in the low), one of each
// kind of row, and the mode each body shows; nullptr: the body knows no such program and shows
// the value itself.
struct ProgramRow {
    const char* value;
    const char* a7m4;     // by the whole value text
    const char* a7s3;     // by the whole value text
    const char* fx3;      // by the low 16 bits, also the FX3A and FX30
    const char* zve10m2;  // by the low 16 bits
};
// clang-format off
const ProgramRow kPrograms[] = {
    {"1",      "M",                  "M",                "M",                  "M"},
    {"65538",  "P",                  "P",                "P",                  "P"},
    {"196612", "S",                  "S",                "S",                  "S"},
    {"294912", "Intelligent Auto",   "Intelligent Auto", "Intelligent Auto",   "Intelligent Auto"},
    {"393223", nullptr,              nullptr,            nullptr,              "Portrait"},
    {"360471", nullptr,              nullptr,            nullptr,              "Night Portrait"},
    {"491600", "Movie (P)",          "Movie (P)",        "Movie (P)",          "Movie (P)"},
    {"491604", "Movie (Scene)",      nullptr,            nullptr,              "Movie (Scene)"},
    {"622681", "Unknown value 8059", "S&Q (P)",          "S&Q (P)",            "S&Q (P)"},
    {"622685", "Unknown value 805d", nullptr,            nullptr,              "S&Q (Scene)"},
    {"622736", nullptr,              nullptr,            "Unknown value 8090", nullptr},
    {"622743", nullptr,              nullptr,            nullptr,              "S&Q_V2 (Scene)"},
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
        for (const ProgramRow& row : kPrograms) {
            ASSERT_EQ(body.sim().SetValue("500e", row.value), 0);
            CameraParams p = Stale();
            EXPECT_EQ(body.camera->GetCurrentMode(p), 0);
            const char* mode = row.*column.second.first;
            EXPECT_EQ(p.mode, mode ? mode : row.value) << column.first << " " << row.value;
            EXPECT_TRUE(p.supportedMode.empty());
            EXPECT_EQ(
                body.Logged(),
                (mode || unknown.empty() ? Strings{} : Strings{unknown + " no support mode : " + row.value}));
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
        {SonyA7M4, kGetMode, "500e", {}, "65538", "M", "P", {}, 0, VF::None, "", {"500e~date"}},
        {SonyFX3, kGetMode, "500e", {}, "65539.5", "P", "", {}, -1, VF::None,
         "2 Failed, 500e value is no program number : 65539.5", {"500e~range"}},
    });
    // clang-format on
}

// "Flash" as a white balance, in the programs of each body's rule; the current value is never hidden.
TEST(SonyWhiteBalance, FlashIsOfferedInTheProgramsOfEachBodysRule) {
    // clang-format off
    const Strings wb = {"Automatic", "Flash", "", "flash", "Daylight"};
    const Strings shown = {"Automatic", "Flash", "flash", "Daylight"}, hidden = {"Automatic", "flash", "Daylight"};
    const std::pair<CameraType, std::pair<Strings, Strings>> rules[] = {  // programs with Flash, without it
        {SonyA7M3, {{"P", "M", "", "Intelligent Auto"}, {"S&Q", "Unknown value 8085", "Unknown value 8087", "Movie (A)"}}},
        {SonyA7M4, {{"P", "Unknown value 805d", "S&Q (P)"}, {"Movie (Scene)", "Movie (M)", "Unknown value 8059"}}},
        {SonyA7S3, {{"M", "S"}, {"Intelligent Auto", "S&Q (P)"}}},
        {SonyZVE10, {{"A"}, {"Movie (M)", ""}}},
        {SonyFX3, {{"S"}, {"Unknown value 8090"}}},
        {SonyFX3A, {{"P"}, {"Movie (M)"}}},
        {SonyFX30, {{}, {"P", "M", ""}}},
        {SonyZVE10M2, {{"M"}, {"Portrait", "Intelligent Auto", "m"}}},
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
    CheckReads({
        {A7M3, kGetFocus, "focusmode", six, "Manual", "P", "MF", {"AF-S", "Y", "X", "Z", "MF"}},
        {A7M3, kGetFocus, "focusmode", six, "Manual", "Movie (M)", "MF", {"X", "MF"}},
        {A7M3, kGetFocus, "focusmode", six, "Manual", "Sports Action", "MF", {"X", "Z", "MF"}},
        {A7M3, kGetFocus, "focusmode", six, "Manual", "Night Scene", "MF", {"AF-S", "Z", "MF"}},
        {A7M3, kGetFocus, "focusmode", six, "Manual", "Unknown value 8087", "MF", {"X", "MF"}},
        {A7M3, kGetFocus, "focusmode", six, "Undefined", "P", "", {}, -1},
        {A7M3, kGetIso, "iso", iso, "i7", "P", "i7", Named("i", {{0, 0}, {2, 38}})},
        {A7M3, kGetIso, "iso", iso, "i7", "Movie (P)", "i7", Named("i", {{0, 0}, {5, 35}})},
        {A7M3, kGetIso, "iso", {"AUTO"}, "AUTO", "P", "AUTO", {"AUTO"}},  // no fallback list
        {A7M3, kGetShutter, "shutterspeed", shutter, "s40", "P", "s40", Named("s", {{0, 54}, {61, 61}})},
        {A7M3, kGetShutter, "shutterspeed", shutter, "s40", "M", "s40", Named("s", {{-1, -1}, {0, 54}, {61, 61}})},
        {A7M3, kGetShutter, "shutterspeed", shutter, "s40", "Movie (S)", "s40", Named("s", {{21, 54}, {61, 61}})},
        {A7M3, kGetShutter, "shutterspeed", shutter, "s40", "Unknown value 8085", "s40", Named("s", {{33, 54}, {61, 61}})},
        {A7M3, kGetShutter, "shutterspeed", shutter, "s40", "Portrait", "s40", shutter},
        {A7M3, kGetShutter, "shutterspeed", {"30"}, "30", "M", "30", fixed},
        {A7M3, kGetShutter, "shutterspeed", {"30", "1/250"}, "", "P", "", noBulbFixed, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {FX3, kGetShutter, "shutterspeed", fx, "1/100", "M", "1/100", all},
        {FX3, kGetShutter, "shutterspeed", bulbs, "1/100", "M", "1/100", {"Bulb", "bulb", "1/50", "BULB"}},
        {FX3, kGetShutter, "shutterspeed", {"1/100"}, "1/100", "M", "1/100", {}},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "P", "1/100", all},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "S", "1/100", noBulb},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "S&Q (S)", "1/100", noBulb},
        {FX3A, kGetShutter, "shutterspeed", fx, "1/100", "Movie (M)", "1/100", noBulb},
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
