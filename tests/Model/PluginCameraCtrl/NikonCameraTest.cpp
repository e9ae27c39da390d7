// The Nikon Z8 and Z9: widgets by the live-view selector, notifications, recording, lists, touch.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <tuple>

#include "CameraBodies.h"

namespace {

const char kSelector[] = "mrb-LiveViewSelector";

TEST(NikonZ8, ListsFallBackBelowTwoChoicesDropOnlyZeroOverZeroAndNameWhiteBalancesByName) {
    const Strings names = {
        "Automatic", "Natural light auto", "Daylight", "Cloudy", "Shade", "Tungsten", "Fluorescent",
        "Flash",     "Color Temperature",  "Preset"};
    const Strings z9 = {"Automatic", "Daylight", "Fluorescent",       "Tungsten", "Flash",
                        "Cloudy",    "Shade",    "Color Temperature", "Preset",   "Natural light auto"};
    const Strings nineInOrder = {"Automatic", "Daylight",          "Cloudy",
                                 "Shade",     "Tungsten",          "Fluorescent",
                                 "Flash",     "Color Temperature", "Preset"};
    const Strings focus = {"Manual", "Automatic", "AF-C"};
    // clang-format off
    const Givens photo = {Value(kSelector, "0")}, movie = {Value(kSelector, "1")};
    CheckReads({
        // Each mode has its widgets; outside manual exposure the camera chooses the movie ISO itself.
        After(photo, {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100", "200"}, "200", "A", "200", {"100", "200"}}),
        After(movie, {NikonZ8, kGetIso, "kd_nikon_movie_iso", {"800", "1600"}, "1600", "A", "Auto", {"800", "1600"}}),
        After(movie, {NikonZ8, kGetIso, "kd_nikon_movie_iso", {"800", "1600"}, "1600", "P", "Auto", {"800", "1600"}}),
        After(movie, {NikonZ8, kGetIso, "kd_nikon_movie_iso", {"800", "1600"}, "1600", "M", "1600", {"800", "1600"}}),
        After(movie, {NikonZ8, kGetIso, "kd_nikon_movie_iso", {"800", "1600"}, "", "A", "", {"800", "1600"}, 0, VF::NoValue}),
        After({Value(kSelector, "2")}, {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100", "200"}, "200", "A", "200", {"100", "200"}}),
        After(movie, {NikonZ8, kGetIris, "kd_nikon_movie_f_numer", {"f/4", "f/2.8"}, "f/2.8", "A", "f/2.8", {"f/4", "f/2.8"}}),
        After(photo, {NikonZ8, kGetIris, "f-number", {"f/4", "f/8"}, "f/8", "A", "f/8", {"f/4", "f/8"}}),
        // Fewer than two choices give the fixed lists.
        {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100"}, "100", "M", "100", C::FixedIsoList()},
        {NikonZ8, kGetIris, "f-number", {"f/4", "f/8"}, "", "M", "", C::FixedIrisList(), GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {NikonZ8, kGetShutter, "shutterspeed2", {"30", "Bulb", "0/0", "1/250", "Time"}, "1/250", "M", "1/250",
         {"30", "Bulb", "1/250", "Time"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Manual", "M", "MF", {"MF", "Automatic", "AF-C"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Automatic", "M", "Automatic", {"MF", "Automatic", "AF-C"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Undefined", "M", "", {}, -1},
        // Its own names in their fixed order where it lists them: none made up, none lost.
        {NikonZ8, kGetWb, "whitebalance", names, "Daylight", "M", "Daylight", names},
        {NikonZ8, kGetWb, "whitebalance", z9, "Daylight", "M", "Daylight", names},
        {NikonZ8, kGetWb, "whitebalance", Strings(z9.begin(), z9.end() - 1), "Flash", "M", "Flash", nineInOrder},
        {NikonZ8, kGetWb, "whitebalance", {"Daylight", "Automatic", "Moon"}, "Moon", "M", "Moon", {"Automatic", "Daylight", "Moon"}},
        {NikonZ8, kGetWb, "whitebalance", {"x", "Preset"}, "x", "M", "x", {"x", "Preset"}},
    });
    // clang-format on
    // The Nikon's own shutter list below two choices, Bulb first down to 1/32000.
    Body body(NikonZ8);
    body.sim().SetChoices("shutterspeed2", {"1/250"});
    CameraParams p = Stale("M");
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
    const Strings& list = p.supportedShutterSpeed;
    EXPECT_EQ(std::to_string(list.size()) + " " + list[0] + " " + list[1] + " " + list.back(),
              "62 Bulb 30 1/32000");
}

TEST(NikonZ8, SetsGoToTheWidgetOfTheModeAndNotifyRecordingOnlyInMovieModeTouchesScaleByRange) {
    const Strings refused = {"2 Failed to gp_camera_set_single_config"};
    const Strings notRecording = {"2 Failed, current is not record mode"};
    const CameraType Z8 = NikonZ8, Z9 = NikonZ9;
    auto at = [](const char* point) { return Strings{std::string("kd_touch_focus=") + point}; };
    // clang-format off
    CheckActs({
        // The first look at the mode also sets the camera up for recording.
        {Z8, {Value(kSelector, "0")}, kSetIso, "400", 0, {"applicationmode=1", "kd_nikon_photo_iso=400"}, {}, 1},
        {Z8, {}, kSetIso, "12345", -1, {"kd_nikon_photo_iso=12345"}, refused}, {Z8, {}, kSetIris, "f/8", 0, {"f-number=f/8"}, {}, 1},
        {Z8, {}, kSetShutter, "1/500", 0, {"shutterspeed2=1/500"}, {}, 1},    {Z8, {}, kSetShutter, "7", -1, {"shutterspeed2=7"}, refused},
        {Z8, {}, kSetWb, "Shade", 0, {"whitebalance=Shade"}, {}, 1},          {Z8, {}, kSetWb, "Moon", -1, {"whitebalance=Moon"}, refused},
        {Z8, {}, kRecord, "1", -1, {}, notRecording},
        {Z8, {Choices("focusmode", {"Manual", "AF-C"})}, kSetFocus, "MF", 0, {"focusmode=Manual"}}, {Z8, {}, kSetFocus, "AF-C", 0, {"focusmode=AF-C"}},
        {Z8, {}, kSetFocus, "AF-S", -1, {"focusmode=AF-S"}, {"2 Failed to gp_camera_set_single_config, ret: -2"}},
        // Movie mode, seen by the next set; recording stops with the set-up again.
        {Z8, {Value(kSelector, "1")}, kRecord, "1", -1, {}, notRecording},
        {Z8, {}, kSetIso, "800", 0, {"kd_nikon_movie_iso=800"}, {}, 1},
        {Z8, {}, kSetIso, "6", -1, {"kd_nikon_movie_iso=6"}, refused},
        {Z8, {}, kSetIris, "f/4", 0, {"kd_nikon_movie_f_numer=f/4"}, {}, 1},  {Z8, {}, kRecord, "1", 0, {"movie=1"}, {}, 1},
        {Z8, {}, kRecord, "0", 0, {"movie=0", "applicationmode=1"}, {}, 1},
        // Out of movie mode since the last look: the camera refuses, then the plug-in.
        {Z8, {Value(kSelector, "0")}, kRecord, "1", -1, {"movie=1"}, refused},
        {Z8, {}, kDispMode, "", 0, {}},                                       {Z8, {}, kRecord, "0", -1, {}, notRecording},
        // Without the selector the photo widget is written, which a camera in movie mode refuses.
        {Z8, {Value(kSelector, "1"), LookupFails(kSelector, -7)}, kSetIso, "400", -1, {"kd_nikon_photo_iso=400"},
         {"2 Failed to gp_camera_get_single_config to get mrb-LiveViewSelector widget", refused[0]}},
        // Factors by range, vertical ones in movie mode only (else 545); outside all, the last stays.
        {Z8, {LookupFails(kSelector, 0), Value(kSelector, "0")}, kTouch, "0,0", 0, at("(0, 0)")},
        {Z8, {}, kTouch, "269,1079", 0, at("(56, 544)")},   {Z8, {}, kTouch, "270,540", 0, at("(70, 272)")},   // 400, 500
        {Z8, {}, kTouch, "1484,0", 0, at("(672, 0)")},      {Z8, {}, kTouch, "1485,0", 0, at("(696, 0)")},     // 870, 900
        {Z8, {}, kTouch, "1516,0", 0, at("(710, 0)")},      {Z8, {}, kTouch, "1517,0", 0, at("(687, 0)")},     // 900, 870
        {Z8, {}, kTouch, "1919,0", 0, at("(889, 0)")},      {Z8, {}, kTouch, "1920,540", 0, at("(890, 272)")}, // 890
        {Z8, {}, kTouch, "-1,-1", 0, at("(0, 0)")},         {Z8, {Value(kSelector, "1")}, kTouch, "1000,0", 0, at("(442, 0)")},
        {Z8, {}, kTouch, "1000,443", 0, at("(442, 188)")},  {Z8, {}, kTouch, "1000,444", 0, at("(442, 185)")}, // 460, 450
        {Z8, {}, kTouch, "1000,1079", 0, at("(442, 499)")}, {Z8, {}, kTouch, "3000,1080", 0, at("(1328, 545)")},
        {Z8, {Value(kSelector, "0")}, kTouch, "960,230", 0, at("(412, 116)")}, {Z8, {}, kTouch, "700,0", 0, at("(284, 0)")},
        // Another connection is set up once more, and not before the selector can be read.
        {Z9, {LookupFails(kSelector, -7)}, kDispMode, "", -1, {},
         {"2 Failed to gp_camera_get_single_config to get mrb-LiveViewSelector widget"}},
        {Z9, {LookupFails(kSelector, 0), LookupFails("applicationmode", -7)}, kDispMode, "", 0, {},
         {"2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"}},
    });
    // clang-format on
}

// The selector read as an integer whatever its widget's form; a failed read keeps the mode.
TEST(NikonZ8, TheSelectorIsAnIntegerInEveryForm) {
    const std::tuple<camsim::WidgetKind, const char*, int, bool> cases[] = {
        {camsim::WidgetKind::Text, "1", 0, true},
        {camsim::WidgetKind::Range, "0.5", GP_ERROR_BAD_PARAMETERS, true},
        {camsim::WidgetKind::Date, "0", 0, false},
        {camsim::WidgetKind::Text, "movie", GP_ERROR_BAD_PARAMETERS, false},
        {camsim::WidgetKind::Radio, "1", 0, true},
        {camsim::WidgetKind::Range, "3000000000", GP_ERROR_BAD_PARAMETERS, true},  // beyond an int
        {camsim::WidgetKind::Text, "4294967297", GP_ERROR_BAD_PARAMETERS, true}};
    Body body(NikonZ8);
    CameraParams p;
    for (const auto& [kind, value, result, movie] : cases) {
        ASSERT_EQ(body.sim().AddWidget(kSelector, kind, value, {"0", "1"}), 0);
        EXPECT_EQ(body.camera->QueryCameraDispMode(p), result) << value;
        EXPECT_EQ(p.dispMode, movie) << value;
    }
}

}  // namespace
