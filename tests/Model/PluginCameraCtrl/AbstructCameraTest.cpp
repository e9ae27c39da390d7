// The generic camera driven through the real libgphoto2 and the simulated camera.
#include "AbstructCamera.h"

#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CameraTestData.h"
#include "LogCapture.h"
#include "SimCamera.h"

namespace {

class GenericCameraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(session.Status(), 0) << sim().LastError();
        camera.reset(new AbstructCamera(session.GpCamera(), session.Context(), SonyA7M3));
    }
    camsim::Simulator& sim() { return session.Sim(); }
    // The values the camera accepted or refused since the last call.
    Strings Sent() {
        Strings r = sim().Received();
        sim().ClearReceived();
        return r;
    }
    // A record whose every field holds something, to see what an operation clears.
    static CameraParams Stale() {
        CameraParams p;
        p.focusMode = p.iso = p.iris = p.shutterSpeed = p.mode = p.whiteBalance = "stale";
        p.supportedFocusMode = p.supportedIso = p.supportedIris = {"stale"};
        p.supportedShutterSpeed = p.supportedMode = p.supportedWhiteBalance = {"stale"};
        return p;
    }

    SimCamera session{"sony-a7m3"};
    std::unique_ptr<AbstructCamera> camera;
    LogCapture log;
};

TEST_F(GenericCameraTest, FocusModeTranslatesAutomaticAndManualBothWays) {
    struct Case {
        Strings choices;
        const char* value;  // nullptr: the widget has no value
        int result;
        const char* focusMode;
        Strings list;
    };
    const Case cases[] = {
        {{"Manual", "Automatic", "DMF", "AF-C"}, "Automatic", 0, "AF-S", {"MF", "AF-S", "DMF", "AF-C"}},
        {{"Manual", "Automatic", "DMF", "AF-C"}, "DMF", 0, "DMF", {"MF", "AF-S", "DMF", "AF-C"}},
        {{"Manual", "Automatic", "Undefined"}, "Undefined", -1, "", {}},
        {{"Manual", "Automatic"}, nullptr, 0, "", {"MF", "AF-S"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sim().SetChoices("focusmode", c.choices), 0);
        if (c.value != nullptr)
            ASSERT_EQ(sim().SetValue("focusmode", c.value), 0);
        else
            ASSERT_EQ(sim().SetValueFault("focusmode", camsim::ValueFault::NoValue), 0);
        CameraParams p = Stale();
        EXPECT_EQ(camera->GetFocusModeParam(p), c.result) << c.focusMode;
        EXPECT_EQ(p.focusMode, c.focusMode);
        EXPECT_EQ(p.supportedFocusMode, c.list) << c.focusMode;
        EXPECT_EQ(p.iso, "stale") << "other fields untouched";
    }
    sim().ClearFaults();
    sim().SetChoices("focusmode", {"Manual", "Automatic", "AF-C"});
    Sent();
    EXPECT_EQ(camera->SetFocusModeParam("AF-S"), 0);
    EXPECT_EQ(camera->SetFocusModeParam("MF"), 0);
    EXPECT_EQ(camera->SetFocusModeParam("AF-C"), 0);
    EXPECT_EQ(Sent(), (Strings{"focusmode=Automatic", "focusmode=Manual", "focusmode=AF-C"}));
    EXPECT_EQ(sim().Value("focusmode").value_or(""), "AF-C");
}

// Fewer than two choices (or none that can be counted) give the fixed list.
TEST_F(GenericCameraTest, IsoAndIrisListChoicesOrFallBackToTheFixedLists) {
    struct Case {
        bool iso;  // else iris
        Strings choices;
        const char* value;  // nullptr: a value without a type
        Strings expected;
    };
    const Case cases[] = {
        {true, {"AUTO", "100", "800"}, "800", {"AUTO", "100", "800"}},
        {true, {"AUTO", "800"}, "800", {"AUTO", "800"}},
        {true, {"800"}, "800", kFixedIso},
        {true, {"800", "100"}, nullptr, kFixedIso},
        {false, {"f/2.8", "f/4", "f/5.6"}, "f/4", {"f/2.8", "f/4", "f/5.6"}},
        {false, {"f/4"}, "f/4", kFixedIris},
        {false, {"f/4", "f/8"}, nullptr, kFixedIris},
    };
    for (const Case& c : cases) {
        const char* widget = c.iso ? "iso" : "f-number";
        sim().ClearFaults();
        ASSERT_EQ(sim().SetChoices(widget, c.choices), 0);
        if (c.value == nullptr)
            ASSERT_EQ(sim().SetValueFault(widget, camsim::ValueFault::Typeless), 0);
        else
            ASSERT_EQ(sim().SetValue(widget, c.value), 0);
        CameraParams p = Stale();
        EXPECT_EQ(c.iso ? camera->GetIsoParam(p) : camera->GetIrisParam(p), 0) << widget;
        EXPECT_EQ(c.iso ? p.iso : p.iris, c.value != nullptr ? c.value : "") << widget;
        EXPECT_EQ(c.iso ? p.supportedIso : p.supportedIris, c.expected)
            << widget << " with " << c.choices.size() << " choices";
    }
}

TEST_F(GenericCameraTest, ShutterSpeedDropsZeroPlacesBulbOnlyInManualAndFallsBack) {
    struct Case {
        Strings choices;
        const char* mode;
        Strings expected;
    };
    const Strings odd = {"30", "bULb", "1/250", "0/0", "1/500"};
    const Case cases[] = {
        {odd, "M", {"Bulb", "30", "1/250", "1/500"}},
        {odd, "A", {"30", "1/250", "1/500"}},
        {odd, "m", {"30", "1/250", "1/500"}},  // exact comparison only
        {{"30", "1/250"}, "M", {"Bulb", "30", "1/250"}},
        {{"1/250"}, "M", kFixedShutter},
        {{"1/250"}, "A", kFixedShutterNoBulb},
    };
    for (const Case& c : cases) {
        sim().SetChoices("shutterspeed", c.choices);
        sim().SetValue("shutterspeed", "1/250");
        CameraParams p = Stale();
        p.mode = c.mode;
        EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.shutterSpeed, "1/250");
        EXPECT_EQ(p.supportedShutterSpeed, c.expected)
            << c.mode << " with " << c.choices.size() << " choices";
    }
}

TEST_F(GenericCameraTest, ModeIsTheExposureProgramText) {
    sim().SetValue("expprogram", "S");
    CameraParams p = Stale();
    EXPECT_EQ(camera->GetCurrentMode(p), 0);
    EXPECT_EQ(p.mode, "S");
    EXPECT_EQ(p.supportedMode, Strings{"stale"}) << "the generic read leaves the list alone";

    sim().SetValueFault("expprogram", camsim::ValueFault::Typeless);
    EXPECT_EQ(camera->GetCurrentMode(p), -1);
    EXPECT_EQ(p.mode, "S") << "a failed read keeps the previous text";
    EXPECT_TRUE(log.Has(2, "Failed to gp_widget_get_value, ret : 0XFFFFFFFE"));
}

// A driver may serve a setting as a number widget; its value is read as text.
TEST_F(GenericCameraTest, ValuesOfNumberWidgetsAreReadAsText) {
    struct Case {
        camsim::WidgetKind kind;
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {camsim::WidgetKind::Toggle, "1", "1"},
        {camsim::WidgetKind::Date, "1700000000", "1700000000"},
        {camsim::WidgetKind::Range, "2.5", "2.5"},
        {camsim::WidgetKind::Range, "400", "400"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sim().RemoveWidget("iso"), 0);
        ASSERT_EQ(sim().AddWidget("iso", c.kind, c.value), 0) << sim().LastError();
        CameraParams p = Stale();
        EXPECT_EQ(camera->GetIsoParam(p), 0) << c.value;
        EXPECT_EQ(p.iso, c.expected);
        EXPECT_EQ(p.supportedIso.size(), 42u) << "no choices: the fixed list";

        ASSERT_EQ(sim().RemoveWidget("expprogram"), 0);
        ASSERT_EQ(sim().AddWidget("expprogram", c.kind, c.value), 0);
        EXPECT_EQ(camera->GetCurrentMode(p), 0);
        EXPECT_EQ(p.mode, c.expected);
    }
}

TEST_F(GenericCameraTest, WhiteBalanceListsEveryChoiceWithoutFallback) {
    for (const Strings& choices : {Strings{"Auto", "Daylight", "Flash"}, Strings{"Auto"}}) {
        sim().SetChoices("whitebalance", choices);
        sim().SetValue("whitebalance", choices.back());
        CameraParams p = Stale();
        EXPECT_EQ(camera->GetWhiteBalanceParam(p), 0);
        EXPECT_EQ(p.whiteBalance, choices.back());
        EXPECT_EQ(p.supportedWhiteBalance, choices);
    }
}

TEST_F(GenericCameraTest, SetsSendTheTextUnchangedAndARefusalKeepsTheOldValue) {
    sim().SetChoices("iso", {"AUTO", "100", "800"});
    sim().SetChoices("f-number", {"f/2.8", "f/4"});
    sim().SetChoices("shutterspeed", {"1/125", "1/250"});
    sim().SetChoices("whitebalance", {"Auto", "Daylight"});
    Sent();
    EXPECT_EQ(camera->SetIsoParam("800"), 0);
    EXPECT_EQ(camera->SetIrisParam("f/4"), 0);
    EXPECT_EQ(camera->SetShutterSpeedParam("1/250"), 0);
    EXPECT_EQ(camera->SetWhiteBalanceParam("Daylight"), 0);
    EXPECT_EQ(camera->SetIsoParam("123"), -1);
    EXPECT_EQ(Sent(),
              (Strings{"iso=800", "f-number=f/4", "shutterspeed=1/250", "whitebalance=Daylight", "iso=123"}));
    EXPECT_EQ(sim().Value("iso").value_or(""), "800");
    EXPECT_EQ(sim().Value("whitebalance").value_or(""), "Daylight");
    EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_set_single_config"});
    ASSERT_EQ(sim().FailSet("whitebalance", GP_ERROR_IO), 0);
    EXPECT_EQ(camera->SetWhiteBalanceParam("Auto"), -1);
    EXPECT_EQ(log.Count(2, "Failed to gp_camera_set_single_config"), 2);
}

TEST_F(GenericCameraTest, LookupFailuresLogPerOperationAndClearOrKeepFields) {
    for (const char* name : {"focusmode", "iso", "f-number", "shutterspeed", "expprogram", "whitebalance"}) {
        ASSERT_EQ(sim().FailLookup(name, GP_ERROR_NOT_SUPPORTED), 0) << name;
    }
    CameraParams p = Stale();
    EXPECT_EQ(camera->GetFocusModeParam(p), -1);
    EXPECT_EQ(camera->GetIsoParam(p), -1);
    EXPECT_EQ(camera->GetIrisParam(p), -1);
    EXPECT_EQ(camera->GetShutterSpeedParam(p), -1);
    EXPECT_EQ(camera->GetCurrentMode(p), -1);
    EXPECT_EQ(camera->GetWhiteBalanceParam(p), -1);
    EXPECT_EQ(log.Messages(),
              (Strings{
                  "Failed to gp_camera_get_single_config to get focusmode widget",
                  "Failed to gp_camera_get_single_config get iso widget",
                  "Failed to gp_camera_get_single_config to get f-number widget, ret : 0XFFFFFFFA",
                  "Failed to gp_camera_get_single_config to get shutterspeed widget, ret : 0XFFFFFFFA",
                  "Failed to gp_camera_get_single_config to get expprogram widget, ret : 0XFFFFFFFA",
                  "Failed to gp_camera_get_single_config to get whitebalance widget, ret : 0XFFFFFFFA",
              }));
    for (const LogLine& l : log.Lines())
        EXPECT_EQ(l.level, 2);
    EXPECT_TRUE(p.focusMode.empty() && p.supportedFocusMode.empty());
    EXPECT_TRUE(p.iso.empty() && p.supportedIso.empty());
    EXPECT_TRUE(p.iris.empty() && p.supportedIris.empty());
    EXPECT_TRUE(p.whiteBalance.empty() && p.supportedWhiteBalance.empty());
    EXPECT_EQ(p.shutterSpeed, "stale");
    EXPECT_EQ(p.supportedShutterSpeed, Strings{"stale"});
    EXPECT_EQ(p.mode, "stale");

    log.Clear();
    EXPECT_EQ(camera->SetIsoParam("100"), -1);
    EXPECT_EQ(log.Messages(),
              Strings{"Failed to gp_camera_get_single_config to get iso widget, ret : 0XFFFFFFFA"});
}

TEST_F(GenericCameraTest, RecordingWritesMovieAndReadsTheRecordState) {
    Sent();
    EXPECT_EQ(camera->EnableRecord(true), 0);
    EXPECT_EQ(camera->EnableRecord(false), 0);
    Strings sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "movie=1");
    EXPECT_EQ(sent.back(), "movie=0");

    CameraParams p;
    const std::vector<std::pair<std::string, bool>> states = {
        {"0", false}, {"1", true}, {"2", true}, {"on", true}};
    for (const auto& s : states) {
        ASSERT_EQ(sim().SetValue("d21d", s.first), 0);
        p.recordEnable = !s.second;
        EXPECT_EQ(camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_EQ(p.recordEnable, s.second) << s.first;
    }
    sim().SetValueFault("d21d", camsim::ValueFault::NoValue);
    p.recordEnable = true;
    EXPECT_EQ(camera->GetRecordEnable(p, nullptr), 0) << "found the widget: success";
    EXPECT_TRUE(p.recordEnable);

    sim().FailLookup("d21d", GP_ERROR);
    sim().FailLookup("movie", GP_ERROR);
    log.Clear();
    EXPECT_EQ(camera->GetRecordEnable(p, nullptr), -1);
    EXPECT_EQ(camera->EnableRecord(true), -1);
    EXPECT_EQ(log.Messages(),
              (Strings{"Failed to gp_camera_get_single_config to get d21d widget",
                       "Failed to gp_camera_get_single_config to get movie widget, ret : 0XFFFFFFFF"}));
}

// One case: the debug file lives at a fixed path shared by every test process.
TEST_F(GenericCameraTest, BatteryLevelIsLoggedOnlyWhileTheDebugFileExists) {
    const char* debugFile = "/tmp/debug_show_baytterylevel";
    std::remove(debugFile);
    sim().SetValue("batterylevel", "85%");
    EXPECT_EQ(camera->GetBatteryLevel(), 0);
    EXPECT_TRUE(log.Lines().empty());

    std::FILE* f = std::fopen(debugFile, "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(camera->GetBatteryLevel(), 0);
    EXPECT_EQ(log.Messages(), Strings{"current baytterylevel : 85%"});
    EXPECT_EQ(log.Lines()[0].level, 5);

    log.Clear();
    sim().SetValueFault("batterylevel", camsim::ValueFault::NoValue);
    EXPECT_EQ(camera->GetBatteryLevel(), 0) << "found but unreadable: still success, nothing logged";
    EXPECT_TRUE(log.Lines().empty());
    std::remove(debugFile);

    sim().FailLookup("batterylevel", GP_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(camera->GetBatteryLevel(), -1);
    EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_get_single_config to get batterylevel widget"});
}

TEST_F(GenericCameraTest, TouchFocusScalesThePackedPointAndSendsIntegers) {
    struct Case {
        int h, v;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {960, 540, "(240, 320)"},     // centre of the 1920 x 1080 surface
        {960, -1, "(0, 320)"},        // low half 0xFFFF: -480 / 1080 truncates to 0
        {-1, 540, "(240, 0)"},        // high half 0xFFFF
        {1919, 1079, "(479, 639)"},   // last pixel
        {3840, 2160, "(960, 1280)"},  // outside the surface: scaled all the same
    };
    for (const Case& c : cases) {
        Sent();
        log.Clear();
        EXPECT_EQ(camera->TouchFocus(PackPoint(c.h, c.v)), 0);
        EXPECT_EQ(Sent(), Strings{"kd_touch_focus=" + c.sent}) << c.h << "," << c.v;
        EXPECT_TRUE(log.Has(5, "point (" + std::to_string(c.h) + ", " + std::to_string(c.v) + ")"));
    }
    EXPECT_EQ(camera->TouchFocus(120, 300), 0);
    EXPECT_EQ(Sent(), Strings{"kd_touch_focus=(120, 300)"});

    sim().FailLookup("kd_touch_focus", GP_ERROR_NOT_SUPPORTED);
    log.Clear();
    EXPECT_EQ(camera->TouchFocus((960 << 16) | 540), -1);
    EXPECT_TRUE(
        log.Has(2, "Failed to gp_camera_get_single_config to get kd_touch_focus widget, ret : 0XFFFFFFFA"));
}

TEST_F(GenericCameraTest, NoOperationCallsTheRegisteredCallback) {
    int calls = 0;
    CameraParams p;
    camera->RegisterNotifyCallback([&](CameraParams*) { return ++calls; }, &p);
    camera->GetFocusModeParam(p);
    camera->GetIsoParam(p);
    camera->SetIsoParam("100");
    camera->EnableRecord(true);
    camera->TouchFocus(0);
    EXPECT_EQ(calls, 0);
}

TEST(GenericCameraWithoutHandles, EveryGuardedOperationRefusesAndLeavesTheRecord) {
    LogCapture log;
    AbstructCamera camera(nullptr, nullptr, Unrecognized);
    CameraParams p;
    p.iso = "keep";
    p.supportedShutterSpeed = {"keep"};
    const std::vector<int> results = {
        camera.GetFocusModeParam(p),
        camera.SetFocusModeParam("MF"),
        camera.GetIsoParam(p),
        camera.SetIsoParam("100"),
        camera.GetIrisParam(p),
        camera.SetIrisParam("f/4"),
        camera.GetShutterSpeedParam(p),
        camera.SetShutterSpeedParam("1/250"),
        camera.GetCurrentMode(p),
        camera.GetWhiteBalanceParam(p),
        camera.SetWhiteBalanceParam("Auto"),
        camera.EnableRecord(true),
        camera.GetRecordEnable(p, nullptr),
        camera.GetBatteryLevel(),
        camera.TouchFocus(1, 2),
        camera.TouchFocus(0),
    };
    for (int r : results)
        EXPECT_EQ(r, -1);
    EXPECT_EQ(log.Count(2, "Failed, parameter error"), 16);
    EXPECT_EQ(p.iso, "keep");
    EXPECT_EQ(p.supportedShutterSpeed, Strings{"keep"});
    EXPECT_EQ(camera.QueryCameraDispMode(p), 0);
}

TEST(GenericCameraWithoutHandles, ByValueOperationsKnowNoValues) {
    AbstructCamera camera(nullptr, nullptr, SonyA7M3);
    std::string out = "untouched";
    for (int v : {0, 1, 2, 0x8010, -1}) {
        EXPECT_EQ(camera.GetFocusModeParamByValue(v), "");
        EXPECT_EQ(camera.GetShutterSpeedParamByValue(v, 250, out), -1);
        EXPECT_EQ(camera.GetCurrentModeByValue(v, out), -1);
        EXPECT_EQ(camera.GetWhiteBalanceParamByValue(v, out), -1);
    }
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(camera.GetCameraType(), SonyA7M3);
}

}  // namespace
