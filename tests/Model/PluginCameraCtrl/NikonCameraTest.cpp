// The Nikon Z8 on its simulated camera: photo and movie widgets chosen by the live-view selector,
// the movie ISO "Auto" rule, the notification after each accepted set, the record set-up and
// recording in movie mode only, the lists, and touch scaling by range.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <utility>

#include "CameraBodies.h"
#include "NikonZ8Camera.h"

namespace {

const char kSelector[] = "mrb-LiveViewSelector";

class NikonZ8Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(body.session.Status(), 0) << sim().LastError();
        // Small, distinct lists per mode so that every read shows which widget it used.
        const std::pair<const char*, Strings> lists[] = {{"kd_nikon_photo_iso", {"100", "200", "400"}},
                                                         {"kd_nikon_movie_iso", {"800", "1600"}},
                                                         {"f-number", {"f/4", "f/5.6", "f/8"}},
                                                         {"kd_nikon_movie_f_numer", {"f/4", "f/2.8"}}};
        for (const auto& list : lists) {
            sim().SetChoices(list.first, list.second);
            sim().SetValue(list.first, list.second[1]);
        }
        // The plug-in registers its own record with each camera object it makes.
        camera.RegisterNotifyCallback(
            [this](CameraParams* p) {
                EXPECT_EQ(p, &plugin) << "the plug-in's own record is handed back";
                notified.push_back(*p);
                return 0;
            },
            &plugin);
    }
    camsim::Simulator& sim() { return body.sim(); }
    void MovieMode(bool on) { ASSERT_EQ(sim().SetValue(kSelector, on ? "1" : "0"), 0); }
    std::string LastSent() {
        Strings r = sim().Received();
        return r.empty() ? std::string() : r.back();
    }

    Body body{NikonZ8};
    NikonZ8Camera& camera = dynamic_cast<NikonZ8Camera&>(*body.camera);
    CameraParams plugin;
    std::vector<CameraParams> notified;
};

TEST_F(NikonZ8Test, IsoAndIrisComeFromTheWidgetsOfTheCurrentMode) {
    struct Case {
        const char* selector;
        const char* mode;
        bool movie;
        const char* iso;
    };
    // Outside manual exposure the camera chooses the movie ISO itself.
    const Case cases[] = {{"0", "A", false, "200"}, {"0", "M", false, "200"}, {"1", "A", true, "Auto"},
                          {"1", "P", true, "Auto"}, {"1", "M", true, "1600"}, {"2", "A", false, "200"}};
    for (const Case& c : cases) {
        ASSERT_EQ(sim().SetValue(kSelector, c.selector), 0);
        CameraParams p = Stale(c.mode);
        p.dispMode = !c.movie;
        EXPECT_EQ(camera.GetIsoParam(p), 0);
        EXPECT_EQ(p.dispMode, c.movie) << "the ISO read looks at the mode itself";
        EXPECT_EQ(p.iso, c.iso) << c.selector << " " << c.mode;
        EXPECT_EQ(p.supportedIso, (c.movie ? Strings{"800", "1600"} : Strings{"100", "200", "400"}));
        EXPECT_EQ(camera.GetIrisParam(p), 0);
        EXPECT_EQ(p.iris, c.movie ? "f/2.8" : "f/5.6") << c.selector;
        EXPECT_EQ(p.supportedIris, (c.movie ? Strings{"f/4", "f/2.8"} : Strings{"f/4", "f/5.6", "f/8"}));
    }
    // An unreadable value: the read's result; a value without text: not even "Auto".
    MovieMode(true);
    sim().SetValueFault("kd_nikon_movie_f_numer", VF::Typeless);
    sim().SetValueFault("kd_nikon_movie_iso", VF::NoValue);
    CameraParams p = Stale("A");
    EXPECT_EQ(camera.GetIrisParam(p), GP_ERROR_BAD_PARAMETERS);
    EXPECT_EQ(p.iris, "");
    EXPECT_EQ(p.supportedIris, AbstructCamera::FixedIrisList());
    EXPECT_EQ(camera.GetIsoParam(p), 0);
    EXPECT_EQ(p.iso, "");
}

TEST_F(NikonZ8Test, AcceptedSetsGoToTheWidgetOfTheModeAndNotifyAtOnceRefusedOnesNever) {
    struct Case {
        bool movie;
        int (AbstructCamera::*set)(std::string);
        const char* value;
        const char* sent;  // nullptr: the camera refuses
        std::string CameraParams::*field;
    };
    const Case cases[] = {
        {false, &C::SetIsoParam, "400", "kd_nikon_photo_iso=400", &P::iso},
        {true, &C::SetIsoParam, "800", "kd_nikon_movie_iso=800", &P::iso},
        {false, &C::SetIrisParam, "f/8", "f-number=f/8", &P::iris},
        {true, &C::SetIrisParam, "f/4", "kd_nikon_movie_f_numer=f/4", &P::iris},
        {true, &C::SetShutterSpeedParam, "1/50", "shutterspeed2=1/50", &P::shutterSpeed},
        {false, &C::SetWhiteBalanceParam, "Shade", "whitebalance=Shade", &P::whiteBalance},
        {true, &C::SetIsoParam, "200", nullptr, &P::iso},
        {false, &C::SetIrisParam, "f/1.2", nullptr, &P::iris},
        {false, &C::SetShutterSpeedParam, "7", nullptr, &P::shutterSpeed},
        {false, &C::SetWhiteBalanceParam, "Moon", nullptr, &P::whiteBalance},
    };
    for (const Case& c : cases) {
        MovieMode(c.movie);
        notified.clear();
        plugin = Stale();
        EXPECT_EQ((camera.*c.set)(c.value), c.sent ? 0 : -1) << c.value;
        if (c.sent != nullptr) {
            EXPECT_EQ(LastSent(), c.sent);
            ASSERT_EQ(notified.size(), 1u) << c.sent;
            EXPECT_EQ(notified[0].*c.field, c.value);
        } else {
            EXPECT_TRUE(notified.empty()) << c.value;
            EXPECT_TRUE(plugin == Stale()) << c.value;
            EXPECT_EQ(body.Logged(2), Strings{"2 Failed to gp_camera_set_single_config"}) << c.value;
        }
    }
    // Without the selector the photo widget is written, which a camera in movie mode refuses.
    MovieMode(true);
    sim().FailLookup(kSelector, GP_ERROR_IO);
    EXPECT_EQ(camera.SetIsoParam("400"), -1);
    EXPECT_EQ(LastSent(), "kd_nikon_photo_iso=400");
    // Without a registered record a set still succeeds; without a callable the record is still written.
    NikonZ8Camera bare(body.session.GpCamera(), body.session.Context(), NikonZ9);
    MovieMode(false);
    sim().ClearFaults();
    EXPECT_EQ(bare.SetWhiteBalanceParam("Flash"), 0);
    CameraParams record;
    bare.RegisterNotifyCallback(nullptr, &record);
    EXPECT_EQ(bare.SetShutterSpeedParam("1/60"), 0);
    EXPECT_EQ(record.shutterSpeed, "1/60");
}

TEST(NikonZ8, ListsFallBackBelowTwoChoicesDropOnlyZeroOverZeroAndNameWhiteBalancesByName) {
    const Strings& iso = AbstructCamera::FixedIsoList();
    const Strings& iris = AbstructCamera::FixedIrisList();
    const Strings names = {
        "Automatic", "Natural light auto", "Daylight", "Cloudy", "Shade", "Tungsten", "Fluorescent",
        "Flash",     "Color Temperature",  "Preset"};
    const Strings z9 = {"Automatic", "Daylight", "Fluorescent",       "Tungsten", "Flash",
                        "Cloudy",    "Shade",    "Color Temperature", "Preset",   "Natural light auto"};
    const Strings nine(z9.begin(), z9.end() - 1);
    const Strings shutter = {"30", "Bulb", "0/0", "1/250", "Time"};
    const Strings focus = {"Manual", "Automatic", "AF-C"};
    // clang-format off
    CheckReads({
        {NikonZ8, kGetIso, "kd_nikon_photo_iso", {}, "100", "M", "100", iso},
        {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100"}, "100", "M", "100", iso},
        {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100", "200"}, "100", "A", "100", {"100", "200"}},
        {NikonZ8, kGetIso, "kd_nikon_photo_iso", {"100", "200"}, "", "A", "", {"100", "200"}, 0, VF::NoValue},
        {NikonZ8, kGetIris, "f-number", {"f/4"}, "f/4", "M", "f/4", iris},
        {NikonZ8, kGetIris, "f-number", {"f/4", "f/8"}, "f/4", "M", "f/4", {"f/4", "f/8"}},
        {NikonZ8, kGetIris, "f-number", {"f/4", "f/8"}, "", "M", "", iris, GP_ERROR_BAD_PARAMETERS, VF::Typeless},
        {NikonZ8, kGetShutter, "shutterspeed2", shutter, "1/250", "M", "1/250", {"30", "Bulb", "1/250", "Time"}},
        {NikonZ8, kGetShutter, "shutterspeed2", shutter, "1/250", "A", "1/250", {"30", "Bulb", "1/250", "Time"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Manual", "M", "MF", {"MF", "Automatic", "AF-C"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Automatic", "M", "Automatic", {"MF", "Automatic", "AF-C"}},
        {NikonZ8, kGetFocus, "focusmode", focus, "Undefined", "M", "", {}, -1},
        // The camera's own names take the places where it lists them, in the fixed order: none is
        // made up and none lost; other choices keep their place. The value is not translated.
        {NikonZ8, kGetWb, "whitebalance", names, "Daylight", "M", "Daylight", names},
        {NikonZ9, kGetWb, "whitebalance", z9, "Daylight", "M", "Daylight", names},
        {NikonZ9, kGetWb, "whitebalance", nine, "Daylight", "M", "Daylight",
         {"Automatic", "Daylight", "Cloudy", "Shade", "Tungsten", "Fluorescent", "Flash", "Color Temperature", "Preset"}},
        {NikonZ9, kGetWb, "whitebalance", {"Daylight", "Automatic", "Moon"}, "Moon", "M", "Moon", {"Automatic", "Daylight", "Moon"}},
        {NikonZ9, kGetWb, "whitebalance", {"x", "Preset"}, "x", "M", "x", {"x", "Preset"}},
    });
    // clang-format on
    // The Nikon's own shutter list below two choices, Bulb first down to 1/32000.
    Body body(NikonZ8);
    body.sim().SetChoices("shutterspeed2", {"1/250"});
    CameraParams p = Stale("M");
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
    ASSERT_EQ(p.supportedShutterSpeed.size(), 62u);
    EXPECT_EQ(p.supportedShutterSpeed.front() + " " + p.supportedShutterSpeed[1] + " " +
                  p.supportedShutterSpeed.back(),
              "Bulb 30 1/32000");
    EXPECT_EQ(body.Logged(), Strings{}) << "the size is logged for the camera's own list only";
    body.sim().SetChoices("shutterspeed2", {"1/250", "1/500"});
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(body.Logged(), Strings{"5 param.supportedShutterSpeed.size : 2"});
    body.sim().SetValue("whitebalance", "Shade");
    p.whiteBalance = "Cloudy";
    EXPECT_EQ(body.camera->GetWhiteBalanceParam(p), 0);
    EXPECT_EQ(body.Logged(), Strings{"5 GetWhiteBalanceParam IS Cloudy"});
}

TEST_F(NikonZ8Test, FocusSetsSendManualForMfAndNotifyNothing) {
    sim().SetChoices("focusmode", {"Manual", "Automatic", "AF-C"});
    sim().ClearReceived();
    EXPECT_EQ(camera.SetFocusModeParam("MF"), 0);
    EXPECT_EQ(camera.SetFocusModeParam("AF-C"), 0);
    EXPECT_EQ(sim().Received(), (Strings{"focusmode=Manual", "focusmode=AF-C"}));
    EXPECT_EQ(camera.SetFocusModeParam("AF-S"), -1) << "not a choice of this camera";
    EXPECT_EQ(body.Logged(2), Strings{"2 Failed to gp_camera_set_single_config, ret: -2"});
    EXPECT_TRUE(notified.empty());
}

TEST_F(NikonZ8Test, RecordSetUpOncePerConnectionAndAfterEachStopRecordingInMovieModeOnly) {
    MovieMode(true);
    EXPECT_EQ(camera.EnableRecord(true), -1) << "no mode read yet: photo mode assumed";
    EXPECT_EQ(body.Logged(2), Strings{"2 Failed, current is not record mode"});
    CameraParams p;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(camera.QueryCameraDispMode(p), 0);
    camera.GetIsoParam(p);
    EXPECT_EQ(body.Sent(), Strings{"applicationmode=1"}) << "once for this camera object";
    EXPECT_EQ(camera.EnableRecord(true), 0);
    EXPECT_EQ(camera.EnableRecord(false), 0);
    EXPECT_EQ(body.Sent(), (Strings{"movie=1", "movie=0", "applicationmode=1"}));
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_TRUE(notified[0].recordEnable);
    EXPECT_FALSE(notified[1].recordEnable);
    // The camera left movie mode since the last read: it refuses, nothing is notified.
    MovieMode(false);
    EXPECT_EQ(camera.EnableRecord(true), -1);
    EXPECT_EQ(body.Logged(2), Strings{"2 Failed to gp_camera_set_single_config"});
    ASSERT_EQ(camera.QueryCameraDispMode(p), 0);
    EXPECT_EQ(camera.EnableRecord(false), -1);
    EXPECT_EQ(body.Logged(2), Strings{"2 Failed, current is not record mode"});
    EXPECT_EQ(notified.size(), 2u);
    p.recordEnable = true;
    EXPECT_EQ(camera.GetRecordEnable(p, nullptr), 0);
    EXPECT_TRUE(p.recordEnable) << "the state comes from events, never from a read";

    std::unique_ptr<AbstructCamera> reconnected =
        MakeCamera(NikonZ8, body.session.GpCamera(), body.session.Context());
    body.Sent();
    EXPECT_EQ(reconnected->QueryCameraDispMode(p), 0);
    EXPECT_EQ(reconnected->QueryCameraDispMode(p), 0);
    EXPECT_EQ(body.Sent(), Strings{"applicationmode=1"}) << "once more for the next connection";
    sim().FailLookup("applicationmode", GP_ERROR_IO);
    body.Logged();
    EXPECT_EQ(camera.InitRecord(), -1);
    EXPECT_EQ(body.Logged(2),
              Strings{"2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"});
}

TEST_F(NikonZ8Test, SelectorReadsAsAnIntegerWhateverItsFormAndAFailedReadKeepsTheMode) {
    using WK = camsim::WidgetKind;
    struct Case {
        WK kind;
        const char* value;
        VF fault;
        int result;
        bool movie;
    };
    const Case cases[] = {
        {WK::Toggle, "1", VF::None, 0, true},
        {WK::Text, "2", VF::None, 0, false},
        {WK::Radio, "1", VF::None, 0, true},
        {WK::Text, "movie", VF::None, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Date, "0", VF::None, 0, false},
        {WK::Text, "", VF::None, GP_ERROR_BAD_PARAMETERS, false},
        {WK::Range, "1", VF::None, 0, true},
        {WK::Range, "0.5", VF::None, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Toggle, "1", VF::Typeless, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Toggle, "1", VF::NoValue, 0, false},  // a toggle without a value reads 0
    };
    CameraParams p;
    for (const Case& c : cases) {
        ASSERT_EQ(
            sim().AddWidget(kSelector, c.kind, c.value, c.kind == WK::Radio ? Strings{"0", "1"} : Strings{}),
            0);
        ASSERT_EQ(sim().SetValueFault(kSelector, c.fault), 0);
        EXPECT_EQ(camera.QueryCameraDispMode(p), c.result) << c.value;
        EXPECT_EQ(p.dispMode, c.movie) << c.value;
    }
    sim().ClearFaults();
    sim().FailLookup(kSelector, GP_ERROR_IO);
    std::unique_ptr<AbstructCamera> fresh =
        MakeCamera(NikonZ8, body.session.GpCamera(), body.session.Context());
    body.Sent();
    EXPECT_EQ(fresh->QueryCameraDispMode(p), -1);
    EXPECT_EQ(body.Sent(), Strings{}) << "no record set-up without the selector";
    sim().FailLookup(kSelector, 0);
    EXPECT_EQ(fresh->QueryCameraDispMode(p), 0);
    EXPECT_EQ(body.Sent(), Strings{"applicationmode=1"});
}

// Each horizontal range has its factor, the vertical ones only in movie mode (545 otherwise);
// a coordinate outside every range keeps the last factor found.
TEST_F(NikonZ8Test, TouchScalesEachCoordinateByTheFactorOfItsRange) {
    struct Case {
        bool movie;
        int h, v;
        const char* sent;
    };
    const Case cases[] = {
        {false, 0, 0, "(0, 0)"},           {false, 269, 1079, "(56, 544)"},   // 400
        {false, 270, 540, "(70, 272)"},    {false, 1484, 0, "(672, 0)"},      // 500, 870
        {false, 1485, 0, "(696, 0)"},      {false, 1516, 0, "(710, 0)"},      // 900
        {false, 1517, 0, "(687, 0)"},      {false, 1919, 0, "(889, 0)"},      // 870, 890
        {false, 1920, 540, "(890, 272)"},  {false, -1, -1, "(0, 0)"},         // no range: 890 stays
        {true, 1000, 0, "(442, 0)"},       {true, 1000, 443, "(442, 188)"},   // 850 by 300, 460
        {true, 1000, 444, "(442, 185)"},   {true, 1000, 1079, "(442, 499)"},  // 450, 500
        {true, 3000, 1080, "(1328, 545)"},  // neither table holds the point: the last factor, 545
        {false, 960, 230, "(412, 116)"},    // the vertical factor is 545 again
    };
    for (const Case& c : cases) {
        MovieMode(c.movie);
        EXPECT_EQ(camera.TouchFocus(PackPoint(c.h, c.v)), 0);
        EXPECT_EQ(LastSent(), std::string("kd_touch_focus=") + c.sent) << c.h << ", " << c.v;
    }
    EXPECT_TRUE(body.log.Has(5, "point (1919, 0)"));
}

}  // namespace
