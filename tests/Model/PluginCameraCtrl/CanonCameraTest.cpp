// The Canon R6, R6 Mark II and RP: modes, recording, lists, "Auto" writes and the R6 II's touch.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <tuple>

#include "CameraBodies.h"
#include "PrivateMounts.h"

namespace {

const CameraType kCanon[] = {CanonEosR6, CanonEosR6M2, CanonEosRP};

TEST(CanonEos, TheMovieSwitchRenamesTheExposureProgramPerBody) {
    // The movie switch, the exposure program and the mode each body shows.
    // clang-format off
    const std::tuple<const char*, const char*, std::array<const char*, 3>> cases[] = {
        {"0", "TV", {"TV", "TV", "TV"}},                                {"01", "P", {"P", "P", "P"}},
        {"1", "P", {"Movie (Auto)", "Movie (Auto)", "Movie (Auto)"}},  {"1", "Manual", {"Movie (M)", "Manual", "Movie (M)"}},
        {"1", "TV", {"", "Movie (TV)", ""}},                            {"1", "AV", {"", "Movie (AV)", ""}},
        {"1", "M", {"", "Movie (M)", ""}},                              {"1", "Fv", {"", "Fv", ""}},
    };
    // clang-format on
    for (size_t b = 0; b < 3; ++b) {
        Body body(kCanon[b]);
        for (const auto& [movieSwitch, exposure, mode] : cases) {
            SetUpCamera(body.sim(),
                        {Value("eosmovieswitch", movieSwitch), Value("autoexposuremode", exposure)});
            const bool movie = std::string(movieSwitch) == "1";
            CameraParams p = Stale("previous");
            p.dispMode = !movie;
            EXPECT_EQ(body.camera->GetCurrentMode(p), 0);
            EXPECT_EQ(p.mode, mode[b]) << kCanon[b] << " " << movieSwitch << "/" << exposure;
            // Only the R6 II keeps the list and tells the display mode.
            EXPECT_EQ(p.supportedMode.empty(), b != 1);
            EXPECT_EQ(p.dispMode, b == 1 ? movie : !movie);
        }
    }
}

// Recording to the card with stills there too, in movie mode; the R6 and RP put stills there at once.
TEST(CanonEos, RecordingRunsThroughTheCaptureAndRecordTargetsInMovieModeOnly) {
    for (CameraType type : kCanon) {
        Body body(type);
        const Strings atStart = type == CanonEosR6M2 ? Strings{} : Strings{"capturetarget=Memory card"};
        EXPECT_EQ(body.Sent(), atStart) << type;
        body.sim().FailSet("capturetarget", GP_ERROR_IO);
        EXPECT_NE(MakeCamera(type, body.session.GpCamera(), body.session.Context()), nullptr);
        EXPECT_EQ(body.Logged(2).size(), atStart.size());
    }
    const Strings on = {"capturetarget=Memory card", "movierecordtarget=Card"},
                  refused = {"2 Failed to gp_camera_set_single_config"};
    const Strings off = {"capturetarget=Memory card", "movierecordtarget=None"};
    std::vector<Act> acts;
    for (CameraType t : kCanon) {
        for (const Act& a :
             {Act{t, {Value("eosmovieswitch", "0")}, kRecord, "1", -1, on, refused},
              Act{t, {Value("eosmovieswitch", "1")}, kRecord, "1", 0, on}, Act{t, {}, kRecord, "0", 0, off},
              Act{t, {SetFails("capturetarget", -7)}, kRecord, "1", -1, {on[0]}, refused}})
            acts.push_back(a);
    }
    CheckActs(acts);
}

TEST(CanonEos, ListsPlaceAutomaticApertureBulbAwbWhiteAndFocusModesPerBody) {
    // clang-format off
    const Strings& fixed = C::FixedShutterList();
    const Strings f3 = {"f/2.8", "f/4", "f/5.6"}, implicit = {"f/4", "implicit auto", "f/5.6"};
    const Strings both = {"f/4", "IMPLICIT AUTO", "Unknown value 00ff"};
    const Strings bulb = {"bulb", "30", "1/8000"}, zero = {"30", "BULB", "0/0", "1/250"};
    const Strings wb = {"Auto", "Daylight", "Shadow", "Cloudy", "Tungsten", "Fluorescent", "Flash", "Manual",
                        "Color Temperature", "AWB White"};
    const Strings awbSecond = {"Auto", "AWB White", "Daylight", "Shadow", "Cloudy", "Tungsten", "Fluorescent", "Flash",
                               "Manual", "Color Temperature"};
    const Strings focus = {"One Shot", "AI Focus", "AI Servo", "Manual"}, listedRp = {"One Shot", "AI Focus", "AI Servo", "MF", "One Shot"};
    const Strings focusRp = {"One Shot", "AI Focus", "AI Servo", "Manual", "Unknown value 0007"};
    const Strings twiceRp = {"One Shot", "AI Servo", "One Shot", "AI Servo", "One Shot", "AI Servo", "One Shot", "AI Servo",
                             "One Shot", "AI Servo"};
    const CameraType R6 = CanonEosR6, R6M2 = CanonEosR6M2, RP = CanonEosRP;
    const std::string unread = "2 Failed to gp_widget_get_value";
    CheckReads({
        // An unreadable value: logged by result on the R6 II, which keeps the mode; by name elsewhere.
        {R6, kGetMode, "eosmovieswitch", {}, "", "P", "", {}, -1, VF::NoValue, unread + " eosmovieswitch widget"},
        {R6M2, kGetMode, "eosmovieswitch", {}, "", "P", "P", {"stale"}, -1, VF::NoValue, unread + ", ret : 0"},
        {RP, kGetMode, "autoexposuremode", {}, "", "P", "", {}, -1, VF::Typeless, unread + " autoexposuremode widget"},
        {R6M2, kGetMode, "autoexposuremode", {}, "", "P", "P", {"stale"}, -1, VF::Typeless, unread + ", ret : 0XFFFFFFFE"},
        // "Auto": the R6's first choice, the R6 II's automatic text in place, the RP's at the front.
        {R6, kGetIris, "aperture", f3, "f/4", "", "f/4", {"Auto", "f/4", "f/5.6"}},
        {R6M2, kGetIris, "aperture", implicit, "implicit auto", "", "implicit auto", implicit},
        {RP, kGetIris, "aperture", implicit, "implicit auto", "", "Auto", {"Auto", "f/4", "f/5.6"}},
        {R6, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"Auto", "IMPLICIT AUTO", "Unknown value 00ff"}},
        {R6M2, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"f/4", "IMPLICIT AUTO", "Auto"}},
        {RP, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"Auto", "Auto", "f/4"}},
        {R6, kGetIris, "aperture", {}, "", "", "", AbstructCamera::FixedIrisList(), GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {R6M2, kGetIris, "aperture", {}, "", "", "", {}, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        // The RP shows its bulb as "Auto", first; the others the generic way.
        {R6, kGetShutter, "shutterspeed", bulb, "bulb", "Manual", "bulb", {"30", "1/8000"}},
        {RP, kGetShutter, "shutterspeed", bulb, "bulb", "Manual", "Auto", {"Auto", "30", "1/8000"}},
        {R6, kGetShutter, "shutterspeed", zero, "bulb", "M", "bulb", {"Bulb", "30", "1/250"}},
        {RP, kGetShutter, "shutterspeed", zero, "bulb", "M", "Auto", {"Auto", "30", "0/0", "1/250"}},
        {R6M2, kGetShutter, "shutterspeed", {"30"}, "30", "P", "30", Strings(fixed.begin() + 1, fixed.end())},
        {RP, kGetShutter, "shutterspeed", {"30"}, "30", "M", "30", {}},
        // "AWB White" moves second only in an object made for the body's own type.
        {R6, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {R6M2, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {RP, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {CanonEosR6M2Alt, kGetWb, "whitebalance", wb, "Auto", "", "Auto", wb},
        {R6, kGetWb, "whitebalance", {"AWB White", "Auto", "Daylight"}, "Auto", "", "Auto", {"AWB White", "Auto", "Daylight"}},
        // Focus lists by focus mode and program.
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Manual", "One Shot", {"One Shot", "AI Servo", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Movie (M)", "One Shot", {"One Shot", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Movie Auto", "One Shot", {"One Shot", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "Manual", "Manual", "MF", {"MF"}},
        {R6, kGetFocus, "focusmode", focus, "Undefined", "P", "", {}, -1},
        {R6M2, kGetFocus, "focusmode", focus, "One Shot", "Movie (M)", "One Shot", {"One Shot", "AI Focus", "AI Servo", "MF"}},
        {R6M2, kGetFocus, "focusmode", focus, "Manual", "Manual", "MF", {"MF"}},
        {RP, kGetFocus, "focusmode", focusRp, "One Shot", "Tv", "One Shot", twiceRp},
        {RP, kGetFocus, "focusmode", focusRp, "One Shot", "Portrait", "One Shot", listedRp},
        {RP, kGetFocus, "focusmode", focusRp, "One Shot", "Movie (M)", "One Shot", listedRp},
        {RP, kGetFocus, "focusmode", focusRp, "Unknown value 0007", "Auto", "One Shot", listedRp},
        {RP, kGetFocus, "focusmode", focusRp, "Manual", "Tv", "MF", listedRp},
    });
    // clang-format on
}

TEST(CanonEos, AutoIsSentAsTheDriverTextTheBodyAndProgramNeed) {
    const Given apertures = Choices("aperture", {"Unknown value 00ff", "implicit auto", "f/4", "f/5.6"}),
                speeds = Choices("shutterspeed", {"bulb", "1/250"});
    const Strings refused = {"2 Failed to gp_camera_set_single_config"};
    // clang-format off
    CheckActs({
        {CanonEosR6, {apertures, speeds, Value("autoexposuremode", "Manual")}, kSetIris, "Auto", 0, {"aperture=Unknown value 00ff"}},
        {CanonEosR6, {}, kSetShutter, "Auto", -1, {"shutterspeed=Auto"}, refused},
        {CanonEosR6M2, {apertures, speeds, Value("eosmovieswitch", "1"), Value("autoexposuremode", "TV")}, kSetIris, "Auto", 0,
         {"aperture=Unknown value 00ff"}},
        // The RP's automatic aperture by program (as the driver spells it); its "Auto" speed is bulb.
        {CanonEosRP, {apertures, speeds, Value("autoexposuremode", "Fv")}, kSetIris, "Auto", 0, {"aperture=Unknown value 00ff"}},
        {CanonEosRP, {Value("autoexposuremode", "TV")}, kSetIris, "Auto", 0, {"aperture=implicit auto"}},
        {CanonEosRP, {Value("autoexposuremode", "Tv")}, kSetIris, "Auto", -1, {"aperture=Auto"}, refused},
        {CanonEosRP, {Value("autoexposuremode", "Manual")}, kSetIris, "Auto", -1, {"aperture=Auto"}, refused},
        {CanonEosRP, {}, kSetIris, "f/4", 0, {"aperture=f/4"}},
        {CanonEosRP, {Value("autoexposuremode", "Fv"), Value("eosmovieswitch", "1")}, kSetIris, "Auto", -1, {"aperture=Auto"}, refused},
        {CanonEosRP, {}, kSetShutter, "Auto", 0, {"shutterspeed=bulb"}},
    });
    // clang-format on
}

// The R6 II's 600 x 400 target space, x corrected by column in stills; written with the switch.
TEST(CanonTouch, TheR6IIScalesToItsTargetSpaceAndCorrectsStillsByColumn) {
    auto at = [](const char* point) { return Strings{std::string("kd_touch_focus=(") + point}; };
    // clang-format off
    CheckActs({
        {CanonEosR6M2, {Value("eosmovieswitch", "0")}, kTouch, "960,540", 0, at("300.000000, 200.000000) 0")},  // no diff in 300..305
        {CanonEosR6M2, {}, kTouch, "320,540", 0, at("66.000000, 200.000000) 0")},     // 100 - 34
        {CanonEosR6M2, {}, kTouch, "160,-1", 0, at("8.000000, -0.370370) 0")},        // the first row's lower edge
        {CanonEosR6M2, {}, kTouch, "976,540", 0, at("307.000000, 200.000000) 0")},    // 305 + 2
        {CanonEosR6M2, {}, kTouch, "1664,540", 0, at("520.000000, 200.000000) 0")},   // the last row's upper edge
        {CanonEosR6M2, {Value("eosmovieswitch", "2")}, kTouch, "320,540", 0, at("100.000000, 200.000000) 2")},  // movie
        {CanonEosR6M2, {Value("eosmovieswitch", "x")}, kTouch, "320,540", 0, at("66.000000, 200.000000) 0")},   // no number
        // A failed write of the point is only logged: the touch was handled.
        {CanonEosR6M2, {SetFails("kd_touch_focus", -7)}, kTouch, "320,540", 0, at("66.000000, 200.000000) 0"),
         {"2 Failed to gp_camera_set_single_config"}},
        {CanonEosR6M2, {LookupFails("kd_touch_focus", -7)}, kTouch, "320,540", 0, {},
         {"2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"}},
    });
    // clang-format on
}

// A diff in /opt/firmware/debug replaces the table's, in a tmpfs only this test process sees.
TEST(CanonTouch, TheDebugDiffFileReplacesTheR6IITablesWhileTheMarkerExists) {
    PrivateMounts mounts("/opt");  // before the camera: entering needs a single-threaded process
    if (!mounts.Ok())
        GTEST_SKIP() << "no private /opt: " << mounts.Error();
    ASSERT_EQ(::mkdir("/opt/firmware", 0755) + ::mkdir("/opt/firmware/debug", 0755), 0);
    Body body(CanonEosR6M2);
    // Marker, diff file (nullptr: none), switch and x, the point written, the diff logged (or none).
    // clang-format off
    const std::tuple<bool, const char*, const char*, const char*, const char*> cases[] = {
        {true, "10\n", "0,320", "(90.000000, 200.000000) 0", "10"},
        {true, "", "0,320", "(100.000000, 200.000000) 0", "0"},
        {true, "10", "0,960", "(300.000000, 200.000000) 0", nullptr},         // no row: the file is not read
        {true, "10", "1,320", "(100.000000, 200.000000) 1", nullptr},         // movie: no correction at all
        {false, "10", "0,320", "(66.000000, 200.000000) 0", nullptr},         // no marker: the table's 34
    };
    // clang-format on
    for (const auto& [marker, diff, touch, written, logged] : cases) {
        std::remove("/opt/firmware/debug/test");
        std::remove("/opt/firmware/debug/diff.txt");
        if (marker)
            std::ofstream("/opt/firmware/debug/test");
        if (diff != nullptr)
            std::ofstream("/opt/firmware/debug/diff.txt") << diff;
        body.sim().SetValue("eosmovieswitch", std::string(touch, 1));
        body.Logged();
        EXPECT_EQ(body.camera->TouchFocus(PackPoint(std::stoi(touch + 2), 540)), 0);
        EXPECT_EQ(body.Sent(), Strings{std::string("kd_touch_focus=") + written})
            << (diff ? diff : "no file");
        const std::string manual = "==== 手动调整 diff : " + std::string(logged ? logged : "10") + " ====";
        EXPECT_EQ(body.log.Count(5, manual), logged ? 1 : 0) << manual;
    }
}

}  // namespace
