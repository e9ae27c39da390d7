// The Canon bodies (R6, R6 Mark II, RP) on their simulated cameras: the mode from the movie
// switch, recording through the card targets, the iris, shutter, white-balance and focus lists,
// the writes of "Auto", and touch focus with the R6 II's corrections and their debug override.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "CameraBodies.h"
#include "PrivateMounts.h"

namespace {

const CameraType kCanon[] = {CanonEosR6, CanonEosR6M2, CanonEosRP};
using PerBody = std::array<const char*, 3>;  // R6, R6 II, RP

// The camera is in movie mode ("1") or stills mode ("0") with this exposure program.
void Shooting(Body& body, const char* movieSwitch, const char* exposure) {
    body.sim().SetValue("eosmovieswitch", movieSwitch);
    body.sim().SetValue("autoexposuremode", exposure);
}

TEST(CanonEos, TheMovieSwitchRenamesTheExposureProgramPerBody) {
    struct Case {
        const char* movieSwitch;
        const char* exposure;
        PerBody mode;
    };
    const Case cases[] = {
        {"0", "TV", {"TV", "TV", "TV"}},
        {"01", "P", {"P", "P", "P"}},
        {"1 ", "P", {"P", "P", "P"}},
        {"1", "P", {"Movie (Auto)", "Movie (Auto)", "Movie (Auto)"}},
        {"1", "Manual", {"Movie (M)", "Manual", "Movie (M)"}},
        {"1", "TV", {"", "Movie (TV)", ""}},
        {"1", "AV", {"", "Movie (AV)", ""}},
        {"1", "M", {"", "Movie (M)", ""}},
        {"1", "Fv", {"", "Fv", ""}},
    };
    for (size_t b = 0; b < 3; ++b) {
        Body body(kCanon[b]);
        for (const Case& c : cases) {
            Shooting(body, c.movieSwitch, c.exposure);
            const bool movie = std::string(c.movieSwitch) == "1";
            CameraParams p = Stale("previous");
            p.dispMode = !movie;
            EXPECT_EQ(body.camera->GetCurrentMode(p), 0);
            EXPECT_EQ(p.mode, c.mode[b]) << kCanon[b] << " " << c.movieSwitch << "/" << c.exposure;
            // Only the R6 II keeps the list and tells the display mode.
            EXPECT_EQ(p.supportedMode.empty(), b != 1);
            EXPECT_EQ(p.dispMode, b == 1 ? movie : !movie);
        }
        // A value that cannot be read: the R6 II words it by result, the others by name.
        const std::pair<const char*, VF> faults[] = {{"eosmovieswitch", VF::NoValue},
                                                     {"autoexposuremode", VF::Typeless}};
        for (const auto& f : faults) {
            body.sim().SetValueFault(f.first, f.second);
            CameraParams p;
            EXPECT_EQ(body.camera->GetCurrentMode(p), -1);
            const std::string result = f.second == VF::NoValue ? "0" : "0XFFFFFFFE";
            EXPECT_EQ(body.Logged(2), Strings{b == 1 ? "2 Failed to gp_widget_get_value, ret : " + result
                                                     : "2 Failed to gp_widget_get_value " +
                                                           std::string(f.first) + " widget"});
            body.sim().ClearFaults();
        }
    }
}

TEST(CanonEos, RecordingRunsThroughTheCaptureAndRecordTargetsInMovieModeOnly) {
    for (CameraType type : kCanon) {
        Body body(type);
        // The R6 and RP put stills on the card when made, and are made if the camera refuses.
        const Strings atStart = type == CanonEosR6M2 ? Strings{} : Strings{"capturetarget=Memory card"};
        EXPECT_EQ(body.Sent(), atStart) << type;
        body.sim().FailSet("capturetarget", GP_ERROR_IO);
        EXPECT_NE(MakeCamera(type, body.session.GpCamera(), body.session.Context()), nullptr);
        EXPECT_EQ(body.Logged(2).size(), atStart.size());
        body.sim().ClearFaults();
        body.Sent();
        CameraParams p;
        EXPECT_EQ(body.camera->EnableRecord(true), -1) << type << ": the camera refuses in stills mode";
        EXPECT_EQ(body.Logged(2), Strings{"2 Failed to gp_camera_set_single_config"});
        EXPECT_EQ(body.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_FALSE(p.recordEnable);
        Shooting(body, "1", "P");
        body.Sent();
        EXPECT_EQ(body.camera->EnableRecord(true), 0);
        EXPECT_EQ(body.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_TRUE(p.recordEnable) << type;
        EXPECT_EQ(body.camera->EnableRecord(false), 0);
        EXPECT_EQ(body.Sent(), (Strings{"capturetarget=Memory card", "movierecordtarget=Card",
                                        "capturetarget=Memory card", "movierecordtarget=None"}));
        body.sim().SetValue("movierecordtarget", "card");
        EXPECT_EQ(body.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_FALSE(p.recordEnable) << "only \"Card\" records";
        p.recordEnable = true;
        body.sim().SetValueFault("movierecordtarget", VF::NoValue);
        EXPECT_EQ(body.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_TRUE(p.recordEnable) << "an unreadable state changes nothing";
        // A refused card stops the recording before its target.
        body.sim().FailSet("capturetarget", GP_ERROR_IO);
        EXPECT_EQ(body.camera->EnableRecord(true), -1);
        EXPECT_EQ(body.Sent(), Strings{"capturetarget=Memory card"});
    }
}

TEST(CanonEos, ListsPlaceAutomaticApertureBulbAwbWhiteAndFocusModesPerBody) {
    const Strings& fixed = AbstructCamera::FixedShutterList();
    const Strings noBulb(fixed.begin() + 1, fixed.end());
    const Strings f3 = {"f/2.8", "f/4", "f/5.6"};
    const Strings implicit = {"f/4", "implicit auto", "f/5.6"};
    const Strings both = {"f/4", "IMPLICIT AUTO", "Unknown value 00ff"};
    const Strings bulb = {"bulb", "30", "1/8000"};
    const Strings zero = {"30", "BULB", "0/0", "1/250"};
    const Strings wb = {
        "Auto",   "Daylight",          "Shadow",   "Cloudy", "Tungsten", "Fluorescent", "Flash",
        "Manual", "Color Temperature", "AWB White"};
    Strings awbSecond = wb;
    awbSecond.pop_back();
    awbSecond.insert(awbSecond.begin() + 1, "AWB White");
    const Strings focus = {"One Shot", "AI Focus", "AI Servo", "Manual"};
    const Strings focusRp = {"One Shot", "AI Focus", "AI Servo", "Manual", "Unknown value 0007"};
    const Strings listedRp = {"One Shot", "AI Focus", "AI Servo", "MF", "One Shot"};
    Strings twiceRp;
    for (int i = 0; i < 5; ++i)
        twiceRp.insert(twiceRp.end(), {"One Shot", "AI Servo"});
    const CameraType R6 = CanonEosR6, R6M2 = CanonEosR6M2, RP = CanonEosRP;
    // clang-format off
    CheckReads({
        // The R6 lists the first choice as "Auto", the R6 II an automatic text where it stands, the RP
        // puts "Auto" first for any spelling of one; without choices only the R6 has a fixed list.
        {R6, kGetIris, "aperture", f3, "f/4", "", "f/4", {"Auto", "f/4", "f/5.6"}},
        {R6M2, kGetIris, "aperture", f3, "f/4", "", "f/4", f3},
        {RP, kGetIris, "aperture", f3, "f/4", "", "f/4", f3},
        {R6, kGetIris, "aperture", implicit, "implicit auto", "", "implicit auto", {"Auto", "implicit auto", "f/5.6"}},
        {R6M2, kGetIris, "aperture", implicit, "implicit auto", "", "implicit auto", implicit},
        {RP, kGetIris, "aperture", implicit, "implicit auto", "", "Auto", {"Auto", "f/4", "f/5.6"}},
        {R6, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"Auto", "IMPLICIT AUTO", "Unknown value 00ff"}},
        {R6M2, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"f/4", "IMPLICIT AUTO", "Auto"}},
        {RP, kGetIris, "aperture", both, "Unknown value 00ff", "", "Auto", {"Auto", "Auto", "f/4"}},
        {RP, kGetIris, "aperture", {"f/4", "f/8"}, "IMPLICIT AUTO", "", "IMPLICIT AUTO", {"f/4", "f/8"}},
        {R6, kGetIris, "aperture", {}, "", "", "", AbstructCamera::FixedIrisList(), GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {R6M2, kGetIris, "aperture", {}, "", "", "", {}, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {RP, kGetIris, "aperture", {}, "", "", "", {}, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        // The RP shows its bulb as "Auto", first; the others the generic way.
        {R6, kGetShutter, "shutterspeed", bulb, "bulb", "Manual", "bulb", {"30", "1/8000"}},
        {RP, kGetShutter, "shutterspeed", bulb, "bulb", "Manual", "Auto", {"Auto", "30", "1/8000"}},
        {R6, kGetShutter, "shutterspeed", zero, "bulb", "M", "bulb", {"Bulb", "30", "1/250"}},
        {RP, kGetShutter, "shutterspeed", zero, "bulb", "M", "Auto", {"Auto", "30", "0/0", "1/250"}},
        {R6M2, kGetShutter, "shutterspeed", {"30"}, "30", "P", "30", noBulb},
        {RP, kGetShutter, "shutterspeed", {"30"}, "30", "M", "30", {}},
        // "AWB White" moves second only in an object made for the body's own type.
        {R6, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {R6M2, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {RP, kGetWb, "whitebalance", wb, "Auto", "", "Auto", awbSecond},
        {CanonEosR6M2Alt, kGetWb, "whitebalance", wb, "Auto", "", "Auto", wb},
        {R6, kGetWb, "whitebalance", {"AWB White"}, "Auto", "", "Auto", {"AWB White"}},
        {R6, kGetWb, "whitebalance", {"AWB White", "Auto", "Daylight"}, "Auto", "", "Auto", {"AWB White", "Auto", "Daylight"}},
        {R6, kGetWb, "whitebalance", wb, "", "", "", {}, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        // Focus lists by focus mode and program.
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Manual", "One Shot", {"One Shot", "AI Servo", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Movie (M)", "One Shot", {"One Shot", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Movie Auto", "One Shot", {"One Shot", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "One Shot", "Movie (Auto)", "One Shot", {"One Shot", "AI Servo", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "Manual", "Manual", "MF", {"MF"}},
        {R6, kGetFocus, "focusmode", focus, "Automatic", "P", "AF-S", {"One Shot", "AI Servo", "MF"}},
        {R6, kGetFocus, "focusmode", focus, "Undefined", "P", "", {}, -1},
        {R6, kGetFocus, "focusmode", focus, "", "P", "", {"One Shot", "AI Servo", "MF"}, 0, VF::NoValue},
        {R6M2, kGetFocus, "focusmode", focus, "One Shot", "Movie (M)", "One Shot", {"One Shot", "AI Focus", "AI Servo", "MF"}},
        {R6M2, kGetFocus, "focusmode", focus, "Manual", "Manual", "MF", {"MF"}},
        {RP, kGetFocus, "focusmode", focusRp, "One Shot", "Tv", "One Shot", twiceRp},
        {RP, kGetFocus, "focusmode", focusRp, "One Shot", "Portrait", "One Shot", listedRp},
        {RP, kGetFocus, "focusmode", focusRp, "Unknown value 0007", "Auto", "One Shot", listedRp},
        {RP, kGetFocus, "focusmode", focusRp, "Manual", "Tv", "MF", listedRp},
    });
    // clang-format on
}

TEST(CanonEos, AutoIsSentAsTheDriverTextTheBodyAndProgramNeed) {
    struct Case {
        CameraType type;
        const char* movieSwitch;
        const char* exposure;
        bool iris;  // else the shutter speed
        const char* value;
        const char* sent;
        int result;
    };
    const Case cases[] = {
        {CanonEosR6, "0", "Manual", true, "Auto", "aperture=Unknown value 00ff", 0},
        {CanonEosR6, "0", "Manual", true, "f/4", "aperture=f/4", 0},
        {CanonEosR6M2, "1", "TV", true, "Auto", "aperture=Unknown value 00ff", 0},
        {CanonEosRP, "0", "Fv", true, "Auto", "aperture=Unknown value 00ff", 0},
        {CanonEosRP, "0", "TV", true, "Auto", "aperture=implicit auto", 0},  // the driver's spelling
        {CanonEosRP, "0", "Tv", true, "Auto", "aperture=Auto", -1},          // not a choice: refused
        {CanonEosRP, "0", "Manual", true, "Auto", "aperture=Auto", -1},
        {CanonEosRP, "1", "Fv", true, "Auto", "aperture=Auto", -1},  // movie mode: no program name
        {CanonEosRP, "0", "Fv", true, "f/4", "aperture=f/4", 0},
        {CanonEosRP, "0", "Manual", false, "Auto", "shutterspeed=bulb", 0},  // the RP's "Auto" is its bulb
        {CanonEosRP, "0", "Manual", false, "1/250", "shutterspeed=1/250", 0},
        {CanonEosR6, "0", "Manual", false, "Auto", "shutterspeed=Auto", -1},
        {CanonEosR6M2, "0", "Manual", false, "1/250", "shutterspeed=1/250", 0},
    };
    for (const Case& c : cases) {
        Body body(c.type);
        Shooting(body, c.movieSwitch, c.exposure);
        body.sim().SetChoices("aperture", {"Unknown value 00ff", "implicit auto", "f/4", "f/5.6"});
        body.sim().SetChoices("shutterspeed", {"bulb", "1/250"});
        body.Sent();
        EXPECT_EQ(c.iris ? body.camera->SetIrisParam(c.value) : body.camera->SetShutterSpeedParam(c.value),
                  c.result)
            << c.type << " " << c.exposure << " " << c.value;
        EXPECT_EQ(body.Sent(), Strings{c.sent}) << c.type << " " << c.exposure << " " << c.value;
    }
}

// What a touch at host (x, y) wrote, with the movie switch at `movieSwitch`.
std::string Touch(Body& body, int x, int y, const char* movieSwitch = "0") {
    body.sim().SetValue("eosmovieswitch", movieSwitch);
    body.sim().SetValue("kd_touch_focus", "");
    EXPECT_EQ(body.camera->TouchFocus(PackPoint(x, y)), 0) << x << ", " << y;
    return body.sim().Value("kd_touch_focus").value_or("?");
}

// The R6 II scales to its 600 x 400 target space and, in stills only, corrects x by column.
TEST(CanonTouch, TheR6IIScalesToItsTargetSpaceAndCorrectsStillsByColumn) {
    struct Case {
        int x, y;
        const char* movieSwitch;
        const char* written;
    };
    const Case cases[] = {
        {960, 540, "0", "(300.000000, 200.000000) 0"},   // the gap 300..305 has no diff
        {320, 540, "0", "(66.000000, 200.000000) 0"},    // 100 - 34
        {320, 540, "2", "(100.000000, 200.000000) 2"},   // movie: no correction
        {320, 540, "x", "(66.000000, 200.000000) 0"},    // no number: stills
        {1600, 0, "0", "(538.000000, 0.000000) 0"},      // 500 + 38
        {-1, 1080, "0", "(-0.312500, 400.000000) 0"},    // left of every row
        {160, -1, "0", "(8.000000, -0.370370) 0"},       // the first row's lower edge: 50 - 42
        {959, 540, "0", "(297.687500, 200.000000) 0"},   // 299.6875 - 2
        {976, 540, "0", "(307.000000, 200.000000) 0"},   // 305 + 2
        {1663, 540, "0", "(557.687500, 200.000000) 0"},  // 519.6875 + 38
        {1664, 540, "0", "(520.000000, 200.000000) 0"},  // the last row's upper edge: none
    };
    Body body(CanonEosR6M2);
    for (const Case& c : cases)
        EXPECT_EQ(Touch(body, c.x, c.y, c.movieSwitch), c.written)
            << c.x << ", " << c.y << " " << c.movieSwitch;
    body.sim().SetValue("kd_touch_focus", "");
    body.Logged();
    // A failed write of the point is only logged: the touch was handled.
    body.sim().FailSet("kd_touch_focus", GP_ERROR_IO);
    EXPECT_EQ(body.camera->TouchFocus(PackPoint(320, 540)), 0);
    body.sim().FailLookup("kd_touch_focus", GP_ERROR_IO);
    EXPECT_EQ(body.camera->TouchFocus(PackPoint(320, 540)), 0);
    body.sim().SetValueFault("eosmovieswitch", VF::NoValue);
    EXPECT_EQ(body.camera->TouchFocus(PackPoint(320, 540)), -1) << "the mode is needed first";
    EXPECT_EQ(body.Logged(2),
              (Strings{"2 Failed to gp_camera_set_single_config",
                       "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9",
                       "2 Failed to gp_widget_get_value, ret : 0"}));
    EXPECT_EQ(body.sim().Value("kd_touch_focus"), "");
}

// On a device set up for it, a diff in /opt/firmware/debug replaces the table's: the directory
// lives in a tmpfs only this test process sees.
TEST(CanonTouch, TheDebugDiffFileReplacesTheR6IITablesWhileTheMarkerExists) {
    PrivateMounts mounts("/opt");  // before the camera: entering needs a single-threaded process
    if (!mounts.Ok())
        GTEST_SKIP() << "no private /opt: " << mounts.Error();
    ASSERT_EQ(::mkdir("/opt/firmware", 0755), 0);
    ASSERT_EQ(::mkdir("/opt/firmware/debug", 0755), 0);
    Body body(CanonEosR6M2);
    struct Case {
        bool marker;
        const char* diffFile;  // nullptr: no file
        int x;
        const char* movieSwitch;
        const char* written;
        const char* logged;  // the override's diff, or nullptr when the file is not read
    };
    const Case cases[] = {
        {true, "10\n", 320, "0", "(90.000000, 200.000000) 0", "10"},
        {true, "abc", 320, "0", "(100.000000, 200.000000) 0", "0"},           // read anew at every touch
        {true, "000000012345", 320, "0", "(88.000000, 200.000000) 0", "12"},  // nine characters at most
        {true, "10", 960, "0", "(300.000000, 200.000000) 0", nullptr},        // no row: the file is not read
        {true, "10", 320, "1", "(100.000000, 200.000000) 1", nullptr},        // movie: no correction at all
        {false, "10", 320, "0", "(66.000000, 200.000000) 0", nullptr},        // no marker: the table's 34
        {true, nullptr, 320, "0", "(66.000000, 200.000000) 0", nullptr},
    };
    for (const Case& c : cases) {
        std::remove("/opt/firmware/debug/test");
        std::remove("/opt/firmware/debug/diff.txt");
        if (c.marker)
            std::ofstream("/opt/firmware/debug/test");
        if (c.diffFile != nullptr)
            std::ofstream("/opt/firmware/debug/diff.txt") << c.diffFile;
        body.Logged();
        EXPECT_EQ(Touch(body, c.x, 540, c.movieSwitch), c.written) << (c.diffFile ? c.diffFile : "(none)");
        Strings manual;
        for (const std::string& line : body.Logged()) {
            if (line.find("手动调整") != std::string::npos)
                manual.push_back(line);
        }
        EXPECT_EQ(manual, c.logged ? Strings{std::string("5 ==== 手动调整 diff : ") + c.logged + " ===="}
                                   : Strings{});
    }
}

}  // namespace
