// Nikon Z8/Z9 through the real libgphoto2 and the simulated camera: photo and
// movie widgets, fallback lists, event-code translations, immediate
// notification, record set-up and touch scaling.
#include "NikonZ8Camera.h"

#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CameraTestData.h"
#include "LogCapture.h"
#include "SimCamera.h"

namespace {

const char kSelector[] = "mrb-LiveViewSelector";

const Strings kNikonShutter = {
    "Bulb",   "30",     "25",      "20",      "15",      "13",      "10",      "8",      "6",
    "5",      "4",      "3",       "2.5",     "2",       "1.6",     "1.3",     "1",      "1/1.3",
    "1/1.6",  "1/2",    "1/2.5",   "1/3",     "1/4",     "1/5",     "1/6",     "1/8",    "1/10",
    "1/13",   "1/15",   "1/20",    "1/25",    "1/30",    "1/40",    "1/50",    "1/60",   "1/80",
    "1/100",  "1/125",  "1/160",   "1/200",   "1/250",   "1/320",   "1/400",   "1/500",  "1/640",
    "1/800",  "1/1000", "1/1250",  "1/1600",  "1/2000",  "1/2500",  "1/3200",  "1/4000", "1/5000",
    "1/6400", "1/8000", "1/10000", "1/13000", "1/16000", "1/20000", "1/26000", "1/32000"};

const Strings kWhiteBalanceNames = {
    "Automatic", "Natural light auto", "Daylight", "Cloudy", "Shade", "Tungsten", "Fluorescent",
    "Flash",     "Color Temperature",  "Preset"};

class NikonZ8Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(session.Status(), 0) << sim().LastError();
        camera = Connect();
        // Small, distinct lists per mode so that every read shows which widget it used.
        sim().SetChoices("kd_nikon_photo_iso", {"100", "200", "400"});
        sim().SetValue("kd_nikon_photo_iso", "200");
        sim().SetChoices("kd_nikon_movie_iso", {"800", "1600"});
        sim().SetValue("kd_nikon_movie_iso", "1600");
        sim().SetChoices("f-number", {"f/4", "f/5.6", "f/8"});
        sim().SetValue("f-number", "f/5.6");
        sim().SetChoices("kd_nikon_movie_f_numer", {"f/2.8", "f/4"});
        sim().SetValue("kd_nikon_movie_f_numer", "f/2.8");
    }

    // A camera object as the plug-in creates one per connection.
    std::unique_ptr<NikonZ8Camera> Connect() {
        auto made = std::make_unique<NikonZ8Camera>(session.GpCamera(), session.Context(), NikonZ8);
        made->RegisterNotifyCallback(
            [this](CameraParams* p) {
                EXPECT_EQ(p, &plugin) << "the plug-in's own record is handed back";
                notified.push_back(*p);
                return 0;
            },
            &plugin);
        return made;
    }
    camsim::Simulator& sim() { return session.Sim(); }
    void MovieMode(bool on) { ASSERT_EQ(sim().SetValue(kSelector, on ? "1" : "0"), 0); }
    std::string LastSent() {
        Strings r = sim().Received();
        return r.empty() ? std::string() : r.back();
    }
    int CountSent(const std::string& entry) {
        int n = 0;
        for (const std::string& r : sim().Received())
            n += r == entry ? 1 : 0;
        return n;
    }

    SimCamera session{"nikon-z8"};
    LogCapture log;
    CameraParams plugin;
    std::vector<CameraParams> notified;
    std::unique_ptr<NikonZ8Camera> camera;
};

TEST_F(NikonZ8Test, IsoAndIrisComeFromTheWidgetsOfTheCurrentMode) {
    struct Case {
        const char* selector;
        const char* mode;
        bool dispMode;
        const char* iso;
        Strings isoList;
        const char* iris;
        Strings irisList;
    };
    const Case cases[] = {
        {"0", "A", false, "200", {"100", "200", "400"}, "f/5.6", {"f/4", "f/5.6", "f/8"}},
        {"0", "M", false, "200", {"100", "200", "400"}, "f/5.6", {"f/4", "f/5.6", "f/8"}},
        {"1", "A", true, "Auto", {"800", "1600"}, "f/2.8", {"f/2.8", "f/4"}},
        {"1", "P", true, "Auto", {"800", "1600"}, "f/2.8", {"f/2.8", "f/4"}},
        {"1", "M", true, "1600", {"800", "1600"}, "f/2.8", {"f/2.8", "f/4"}},
        {"2", "A", false, "200", {"100", "200", "400"}, "f/5.6", {"f/4", "f/5.6", "f/8"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sim().SetValue(kSelector, c.selector), 0);
        CameraParams p;
        p.mode = c.mode;
        p.dispMode = !c.dispMode;
        EXPECT_EQ(camera->QueryCameraDispMode(p), 0);
        EXPECT_EQ(p.dispMode, c.dispMode) << c.selector;
        p.dispMode = !c.dispMode;
        EXPECT_EQ(camera->GetIsoParam(p), 0);
        EXPECT_EQ(p.dispMode, c.dispMode) << "the ISO read refreshes the mode itself";
        EXPECT_EQ(p.iso, c.iso) << c.selector << " " << c.mode;
        EXPECT_EQ(p.supportedIso, c.isoList) << c.selector;
        EXPECT_EQ(camera->GetIrisParam(p), 0);
        EXPECT_EQ(p.iris, c.iris) << c.selector;
        EXPECT_EQ(p.supportedIris, c.irisList) << c.selector;
    }
}

TEST_F(NikonZ8Test, SetsGoToTheWidgetOfTheCurrentModeAndNotifyAtOnce) {
    struct Case {
        bool movie;
        int (NikonZ8Camera::*set)(std::string);
        const char* value;
        const char* sent;
        std::string CameraParams::*field;
    };
    const Case cases[] = {
        {false, &NikonZ8Camera::SetIsoParam, "400", "kd_nikon_photo_iso=400", &CameraParams::iso},
        {true, &NikonZ8Camera::SetIsoParam, "800", "kd_nikon_movie_iso=800", &CameraParams::iso},
        {false, &NikonZ8Camera::SetIrisParam, "f/8", "f-number=f/8", &CameraParams::iris},
        {true, &NikonZ8Camera::SetIrisParam, "f/4", "kd_nikon_movie_f_numer=f/4", &CameraParams::iris},
        {false, &NikonZ8Camera::SetShutterSpeedParam, "1/500", "shutterspeed2=1/500",
         &CameraParams::shutterSpeed},
        {true, &NikonZ8Camera::SetShutterSpeedParam, "1/50", "shutterspeed2=1/50",
         &CameraParams::shutterSpeed},
        {false, &NikonZ8Camera::SetWhiteBalanceParam, "Shade", "whitebalance=Shade",
         &CameraParams::whiteBalance},
        {true, &NikonZ8Camera::SetWhiteBalanceParam, "Preset", "whitebalance=Preset",
         &CameraParams::whiteBalance},
    };
    for (const Case& c : cases) {
        MovieMode(c.movie);
        notified.clear();
        EXPECT_EQ(((*camera).*c.set)(c.value), 0) << c.sent;
        EXPECT_EQ(LastSent(), c.sent);
        ASSERT_EQ(notified.size(), 1u) << c.sent;
        EXPECT_EQ(notified[0].*c.field, c.value);
        EXPECT_EQ(plugin.*c.field, c.value);
    }
    EXPECT_TRUE(log.Has(5, "===== SetIrisParam value : f/8 ===="));
    EXPECT_TRUE(log.Has(5, "====== SetWhiteBalanceParam value : Shade ======="));
    EXPECT_TRUE(log.Has(5, "ShutterSpeed: 1/500"));
    EXPECT_EQ(log.Count(5, "SetShutterSpeedParam"), 4) << "twice per accepted shutter set";
    char address[64];
    std::snprintf(address, sizeof(address),
                  "======== Notify m_camParam:%p =======", static_cast<void*>(&plugin));
    EXPECT_EQ(log.Count(5, address), 2);
}

TEST_F(NikonZ8Test, RefusedSetsNotifyNothingAndLeaveTheRecord) {
    plugin.iso = "200";
    plugin.iris = "f/5.6";
    plugin.shutterSpeed = "1/250";
    plugin.whiteBalance = "Automatic";
    const CameraParams before = plugin;
    struct Case {
        bool movie;
        int (NikonZ8Camera::*set)(std::string);
        const char* value;
    };
    const Case cases[] = {
        {false, &NikonZ8Camera::SetIsoParam, "12345"},
        {true, &NikonZ8Camera::SetIsoParam, "200"},
        {false, &NikonZ8Camera::SetIrisParam, "f/1.2"},
        {true, &NikonZ8Camera::SetIrisParam, "f/8"},
        {false, &NikonZ8Camera::SetShutterSpeedParam, "7"},
        {false, &NikonZ8Camera::SetWhiteBalanceParam, "Moon"},
    };
    for (const Case& c : cases) {
        MovieMode(c.movie);
        log.Clear();
        EXPECT_EQ(((*camera).*c.set)(c.value), -1) << c.value;
        EXPECT_TRUE(log.Has(2, "Failed to gp_camera_set_single_config")) << c.value;
    }
    EXPECT_TRUE(notified.empty());
    EXPECT_TRUE(plugin == before);
}

TEST_F(NikonZ8Test, ASetWithoutTheSelectorUsesThePhotoWidget) {
    MovieMode(true);
    sim().FailLookup(kSelector, GP_ERROR_IO);
    EXPECT_EQ(camera->SetIsoParam("400"), -1) << "the camera is in movie mode and refuses the photo ISO";
    EXPECT_EQ(LastSent(), "kd_nikon_photo_iso=400");
    MovieMode(false);
    EXPECT_EQ(camera->SetIrisParam("f/8"), 0);
    EXPECT_EQ(LastSent(), "f-number=f/8");
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get mrb-LiveViewSelector widget"));
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].iris, "f/8");
}

TEST_F(NikonZ8Test, WithoutARegisteredRecordSetsStillSucceed) {
    NikonZ8Camera bare(session.GpCamera(), session.Context(), NikonZ9);
    EXPECT_EQ(bare.GetCameraType(), NikonZ9);
    EXPECT_EQ(bare.SetIsoParam("100"), 0);
    EXPECT_EQ(bare.SetWhiteBalanceParam("Flash"), 0);
    EXPECT_TRUE(log.Has(5, "======== Notify m_camParam:(nil) ======="));
    CameraParams record;
    bare.RegisterNotifyCallback(nullptr, &record);
    EXPECT_EQ(bare.SetShutterSpeedParam("1/60"), 0);
    EXPECT_EQ(record.shutterSpeed, "1/60") << "stored even without a callable";
}

TEST_F(NikonZ8Test, FallbackListsReplaceFewerThanTwoChoices) {
    struct Reader {
        const char* widget[2];  // photo, movie
        int (NikonZ8Camera::*get)(CameraParams&);
        Strings CameraParams::*list;
        const Strings& fallback;
    };
    const Reader readers[] = {
        {{"kd_nikon_photo_iso", "kd_nikon_movie_iso"},
         &NikonZ8Camera::GetIsoParam,
         &CameraParams::supportedIso,
         kFixedIso},
        {{"f-number", "kd_nikon_movie_f_numer"},
         &NikonZ8Camera::GetIrisParam,
         &CameraParams::supportedIris,
         kFixedIris},
        {{"shutterspeed2", "shutterspeed2"},
         &NikonZ8Camera::GetShutterSpeedParam,
         &CameraParams::supportedShutterSpeed,
         kNikonShutter},
    };
    for (const Reader& r : readers) {
        for (int movie : {0, 1}) {
            MovieMode(movie == 1);
            for (const Strings& choices : {Strings{}, Strings{"100"}, Strings{"100", "200"}}) {
                ASSERT_EQ(sim().SetChoices(r.widget[movie], choices), 0);
                CameraParams p = InMode("M");
                EXPECT_EQ(((*camera).*r.get)(p), 0) << r.widget[movie];
                EXPECT_EQ(p.*r.list, choices.size() < 2 ? r.fallback : choices)
                    << r.widget[movie] << " with " << choices.size() << " choices";
            }
        }
    }
}

TEST_F(NikonZ8Test, ShutterListDropsOnlyZeroOverZeroAndKeepsBulbWhereItIs) {
    sim().SetChoices("shutterspeed2", {"30", "Bulb", "0/0", "1/250", "Time"});
    sim().SetValue("shutterspeed2", "1/250");
    for (const char* mode : {"M", "A"}) {
        CameraParams p;
        p.mode = mode;
        EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.shutterSpeed, "1/250");
        EXPECT_EQ(p.supportedShutterSpeed, (Strings{"30", "Bulb", "1/250", "Time"})) << mode;
    }
    EXPECT_EQ(log.Count(5, "param.supportedShutterSpeed.size : 4"), 2);
    sim().SetChoices("shutterspeed2", {"1/250"});
    log.Clear();
    CameraParams p;
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, kNikonShutter);
    EXPECT_TRUE(log.Lines().empty()) << "no size line for the fallback";
}

// The by-value operations need no camera: they run on one without handles.
TEST_F(NikonZ8Test, ShutterCodesBecomeTexts) {
    NikonZ8Camera byValue(nullptr, nullptr, NikonZ8);
    struct Case {
        int numerator;
        int denominator;
        const char* text;
    };
    const Case cases[] = {
        {1, 250, "1/250"},
        {10, 2500, "1/250"},
        {1, 3, "1/3"},
        {10, 13, "1/1.3"},
        {10, 16, "1/1.6"},
        {30, 1, "30"},
        {300, 10, "30"},
        {25, 10, "2.5"},
        {13, 10, "1.3"},
        {1, 1, "1"},
        {1, 32000, "1/32000"},
        {900, 1, "900"},
        {65535, 65535, "Bulb"},
        {65535, 65533, "Time"},
        {2, 3, "1/1.5"},
        {7, 2, "3.5"},
        {-30, 1, "-30"},
        {0, 250, ""},
        {1, 0, ""},
        {INT_MIN, -1, "2147483648"},
    };
    for (const Case& c : cases) {
        std::string out = "stale";
        log.Clear();
        EXPECT_EQ(byValue.GetShutterSpeedParamByValue(c.numerator, c.denominator, out), 0);
        EXPECT_EQ(out, c.text) << c.numerator << "/" << c.denominator;
        EXPECT_EQ(log.Messages(), (Strings{"===== Enter num:" + std::to_string(c.numerator) +
                                               ", den:" + std::to_string(c.denominator) + " =====",
                                           std::string("===== Enter dst : ") + c.text + " ====="}));
    }
}

TEST_F(NikonZ8Test, ModeFocusAndWhiteBalanceCodesBecomeTexts) {
    NikonZ8Camera byValue(nullptr, nullptr, NikonZ8);
    const std::vector<std::pair<int, const char*>> modes = {{1, "M"}, {2, "P"}, {3, "A"}, {4, "S"}};
    for (const auto& m : modes) {
        std::string out = "stale";
        EXPECT_EQ(byValue.GetCurrentModeByValue(m.first, out), 0);
        EXPECT_EQ(out, m.second);
    }
    for (int unknown : {0, 5, 0x8010, -1}) {
        std::string out = "stale";
        EXPECT_EQ(byValue.GetCurrentModeByValue(unknown, out), -1) << unknown;
        EXPECT_EQ(out, "stale");
    }

    const std::vector<std::pair<int, const char*>> focus = {
        {1, "MF"},    {0x8010, "AF-S"}, {0x8011, "AF-C"}, {0x8013, "AF-F"},
        {0x8012, ""}, {0, ""},          {2, ""},          {-1, ""}};
    for (const auto& f : focus) {
        EXPECT_EQ(byValue.GetFocusModeParamByValue(f.first), f.second) << f.first;
    }

    const std::vector<std::pair<int, const char*>> wb = {{2, "Automatic"},   {4, "Daylight"},
                                                         {5, "Fluorescent"}, {6, "Tungsten"},
                                                         {7, "Flash"},       {32784, "Cloudy"},
                                                         {32785, "Shade"},   {32786, "Color Temperature"},
                                                         {32787, "Preset"},  {32790, "Natural light auto"},
                                                         {1, "stale"},       {3, "stale"},
                                                         {0x8014, "stale"},  {-2, "stale"}};
    for (const auto& w : wb) {
        std::string out = "stale";
        EXPECT_EQ(byValue.GetWhiteBalanceParamByValue(w.first, out), 0) << w.first;
        EXPECT_EQ(out, w.second) << w.first;
    }
    EXPECT_TRUE(log.Lines().empty()) << "no guard and nothing to log";
}

TEST_F(NikonZ8Test, FocusModeTranslatesOnlyManual) {
    sim().SetChoices("focusmode", {"Manual", "Automatic", "AF-S", "AF-C", "AF-F"});
    struct Case {
        const char* value;
        int result;
        const char* focus;
    };
    const Case cases[] = {
        {"Manual", 0, "MF"}, {"Automatic", 0, "Automatic"}, {"AF-C", 0, "AF-C"}, {"Undefined", -1, ""}};
    for (const Case& c : cases) {
        sim().SetValue("focusmode", c.value);
        CameraParams p;
        p.focusMode = "stale";
        EXPECT_EQ(camera->GetFocusModeParam(p), c.result) << c.value;
        EXPECT_EQ(p.focusMode, c.focus);
        if (c.result == 0) {
            EXPECT_EQ(p.supportedFocusMode, (Strings{"MF", "Automatic", "AF-S", "AF-C", "AF-F"}));
        } else {
            EXPECT_TRUE(p.supportedFocusMode.empty());
        }
    }
    sim().FailLookup("focusmode", GP_ERROR_IO);
    CameraParams p;
    EXPECT_EQ(camera->GetFocusModeParam(p), -1);
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get focusmode widget"));
}

TEST_F(NikonZ8Test, FocusModeSetSendsManualForMfAndNotifiesNothing) {
    sim().SetChoices("focusmode", {"Manual", "AF-S", "AF-C"});
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"MF", "focusmode=Manual"}, {"AF-C", "focusmode=AF-C"}, {"AF-S", "focusmode=AF-S"}};
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(camera->SetFocusModeParam(c.first), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Enter SetFocusModeParam \n");
        EXPECT_EQ(LastSent(), c.second);
    }
    EXPECT_TRUE(notified.empty());

    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->SetFocusModeParam("Automatic"), -1) << "not a choice of this camera";
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_set_single_config, ret: -2"));
    sim().FailLookup("focusmode", GP_ERROR_NOT_SUPPORTED);
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->SetFocusModeParam("MF"), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(
        log.Has(2, "Failed to gp_camera_get_single_config to get focusmode widget, ret : 0XFFFFFFFA"));
}

TEST_F(NikonZ8Test, WhiteBalanceListsTheOfferedNamesInTheirFixedOrder) {
    struct Case {
        Strings choices;
        Strings expected;
    };
    const Case cases[] = {
        {kWhiteBalanceNames, kWhiteBalanceNames},
        {{"Daylight", "Automatic", "Moonlight"}, {"Automatic", "Daylight", "Moonlight"}},
        {{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "Flash", "K"},
         {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "Flash", "K"}},
        {{"x", "Preset"}, {"x", "Preset"}},
        // The Z9's own order, all ten names: listed in the fixed order.
        {{"Automatic", "Daylight", "Fluorescent", "Tungsten", "Flash", "Cloudy", "Shade", "Color Temperature",
          "Preset", "Natural light auto"},
         kWhiteBalanceNames},
        // Nine of ten: none made up, none lost.
        {{"Automatic", "Daylight", "Fluorescent", "Tungsten", "Flash", "Cloudy", "Shade", "Color Temperature",
          "Preset"},
         {"Automatic", "Daylight", "Cloudy", "Shade", "Tungsten", "Fluorescent", "Flash", "Color Temperature",
          "Preset"}},
    };
    plugin.whiteBalance = "Cloudy";
    for (const Case& c : cases) {
        ASSERT_EQ(sim().SetChoices("whitebalance", c.choices), 0);
        ASSERT_EQ(sim().SetValue("whitebalance", c.choices[1]), 0);
        log.Clear();
        std::string previous = plugin.whiteBalance;
        EXPECT_EQ(camera->GetWhiteBalanceParam(plugin), 0);
        EXPECT_EQ(plugin.whiteBalance, c.choices[1]) << "the value is not translated";
        EXPECT_EQ(plugin.supportedWhiteBalance, c.expected);
        EXPECT_TRUE(log.Has(5, "GetWhiteBalanceParam IS " + previous));
    }
    sim().FailLookup("whitebalance", GP_ERROR_IO);
    EXPECT_EQ(camera->GetWhiteBalanceParam(plugin), -1);
    EXPECT_TRUE(plugin.supportedWhiteBalance.empty());
    EXPECT_TRUE(
        log.Has(2, "Failed to gp_camera_get_single_config to get whitebalance widget, ret : 0XFFFFFFF9"));
}

TEST_F(NikonZ8Test, InitRecordRunsOncePerConnectionAndAfterEachStop) {
    CameraParams p;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(camera->QueryCameraDispMode(p), 0);
    }
    CameraParams iso;
    camera->GetIsoParam(iso);
    camera->GetIrisParam(iso);
    EXPECT_EQ(CountSent("applicationmode=1"), 1) << "once for this camera object";
    EXPECT_EQ(sim().Value("applicationmode"), "1");

    std::unique_ptr<NikonZ8Camera> reconnected = Connect();
    EXPECT_EQ(reconnected->QueryCameraDispMode(p), 0);
    EXPECT_EQ(reconnected->QueryCameraDispMode(p), 0);
    EXPECT_EQ(CountSent("applicationmode=1"), 2) << "once more for the next connection";

    MovieMode(true);
    ASSERT_EQ(camera->QueryCameraDispMode(p), 0);
    sim().ClearReceived();
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(true), 0);
    EXPECT_EQ(camera->EnableRecord(false), 0);
    EXPECT_EQ(camera->EnableRecord(true), 0);
    EXPECT_EQ(camera->EnableRecord(false), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Enter EnableRecord \nEnter EnableRecord \nEnter EnableRecord \nEnter EnableRecord \n");
    EXPECT_EQ(sim().Received(), (Strings{"movie=1", "movie=0", "applicationmode=1", "movie=1", "movie=0",
                                         "applicationmode=1"}));
    EXPECT_EQ(camera->InitRecord(), 0);
    EXPECT_EQ(LastSent(), "applicationmode=1");
}

TEST_F(NikonZ8Test, RecordingSwitchesOnlyInMovieModeAndNotifies) {
    MovieMode(true);
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(true), -1) << "no mode query yet: photo mode assumed";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Enter EnableRecord \n");
    EXPECT_TRUE(log.Has(2, "Failed, current is not record mode"));
    EXPECT_TRUE(sim().Received().empty());

    CameraParams p;
    ASSERT_EQ(camera->QueryCameraDispMode(p), 0);
    sim().ClearReceived();
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(true), 0);
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_TRUE(notified[0].recordEnable);
    EXPECT_EQ(sim().Value("movie"), "1");
    EXPECT_EQ(camera->EnableRecord(false), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_FALSE(notified[1].recordEnable);
    EXPECT_FALSE(plugin.recordEnable);
    EXPECT_EQ(sim().Received(), (Strings{"movie=1", "movie=0", "applicationmode=1"}));

    // The camera left movie mode since the last query: it refuses, nothing is notified.
    MovieMode(false);
    log.Clear();
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(true), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_set_single_config"});
    EXPECT_EQ(notified.size(), 2u);

    ASSERT_EQ(camera->QueryCameraDispMode(p), 0);
    log.Clear();
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(false), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.Messages(), Strings{"Failed, current is not record mode"});

    MovieMode(true);
    ASSERT_EQ(camera->QueryCameraDispMode(p), 0);
    sim().FailLookup("movie", GP_ERROR_NOT_SUPPORTED);
    testing::internal::CaptureStdout();
    EXPECT_EQ(camera->EnableRecord(true), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get movie widget, ret : 0XFFFFFFFA"));
    EXPECT_EQ(notified.size(), 2u);

    CameraParams record;
    record.recordEnable = true;
    EXPECT_EQ(camera->GetRecordEnable(record, nullptr), 0);
    EXPECT_TRUE(record.recordEnable) << "the record state is never read from the camera";
}

TEST_F(NikonZ8Test, SelectorReadsAsAnIntegerWhateverItsWidgetTypeAndFailuresKeepTheMode) {
    using WK = camsim::WidgetKind;
    using VF = camsim::ValueFault;
    struct Case {
        WK kind;
        const char* value;
        Strings choices;
        VF fault;
        int result;
        bool dispMode;
    };
    const Case cases[] = {
        {WK::Toggle, "1", {}, VF::None, 0, true},
        {WK::Toggle, "0", {}, VF::None, 0, false},
        {WK::Text, "1", {}, VF::None, 0, true},
        {WK::Text, "2", {}, VF::None, 0, false},
        {WK::Radio, "1", {"0", "1"}, VF::None, 0, true},
        {WK::Text, "movie", {}, VF::None, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Text, "", {}, VF::None, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Date, "0", {}, VF::None, 0, false},
        {WK::Range, "1", {}, VF::None, 0, true},
        {WK::Toggle, "1", {}, VF::Typeless, GP_ERROR_BAD_PARAMETERS, true},
        {WK::Toggle, "1", {}, VF::NoValue, 0, false},  // a toggle without a value reads 0
    };
    CameraParams p;
    for (const Case& c : cases) {
        ASSERT_EQ(sim().AddWidget(kSelector, c.kind, c.value, c.choices), 0);
        ASSERT_EQ(sim().SetValueFault(kSelector, c.fault), 0);
        EXPECT_EQ(camera->QueryCameraDispMode(p), c.result) << c.value;
        EXPECT_EQ(p.dispMode, c.dispMode) << c.value << ": a failed read keeps the last mode";
    }

    sim().ClearFaults();
    sim().FailLookup(kSelector, GP_ERROR_IO);
    std::unique_ptr<NikonZ8Camera> fresh = Connect();
    sim().ClearReceived();
    EXPECT_EQ(fresh->QueryCameraDispMode(p), -1);
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get mrb-LiveViewSelector widget"));
    EXPECT_TRUE(sim().Received().empty()) << "no record set-up without the selector";
    sim().FailLookup(kSelector, 0);
    EXPECT_EQ(fresh->QueryCameraDispMode(p), 0);
    EXPECT_EQ(sim().Received(), Strings{"applicationmode=1"});
}

TEST_F(NikonZ8Test, ReadFailuresWithTheirLogLines) {
    MovieMode(true);
    struct Case {
        const char* widget;
        int (NikonZ8Camera::*get)(CameraParams&);
        const char* message;
    };
    const Case cases[] = {
        {"kd_nikon_movie_iso", &NikonZ8Camera::GetIsoParam,
         "Failed to gp_camera_get_single_config get kd_nikon_movie_iso widget"},
        {"kd_nikon_movie_f_numer", &NikonZ8Camera::GetIrisParam,
         "Failed to gp_camera_get_single_config to get kd_nikon_movie_f_numer widget, ret : 0XFFFFFFF9"},
        {"shutterspeed2", &NikonZ8Camera::GetShutterSpeedParam,
         "Failed to gp_camera_get_single_config to get shutterspeed2 widget, ret : 0XFFFFFFF9"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sim().FailLookup(c.widget, GP_ERROR_IO), 0);
        CameraParams p;
        p.shutterSpeed = "keep";
        p.supportedShutterSpeed = {"keep"};
        EXPECT_EQ(((*camera).*c.get)(p), -1) << c.widget;
        EXPECT_TRUE(log.Has(2, c.message)) << c.message;
        EXPECT_EQ(p.shutterSpeed, "keep") << "the shutter fields are untouched by a failed lookup";
        EXPECT_EQ(p.supportedShutterSpeed, Strings{"keep"});
    }
    CameraParams p;
    p.iso = p.iris = "stale";
    p.supportedIso = p.supportedIris = {"stale"};
    EXPECT_EQ(camera->GetIsoParam(p), -1);
    EXPECT_EQ(camera->GetIrisParam(p), -1);
    EXPECT_TRUE(p.iso.empty() && p.supportedIso.empty()) << "cleared before the lookup";
    EXPECT_TRUE(p.iris.empty() && p.supportedIris.empty()) << "cleared before the lookup";

    sim().ClearFaults();
    sim().SetValueFault("kd_nikon_movie_f_numer", camsim::ValueFault::Typeless);
    EXPECT_EQ(camera->GetIrisParam(p), GP_ERROR_BAD_PARAMETERS) << "the value read's result is passed on";
    EXPECT_TRUE(p.iris.empty());
    EXPECT_EQ(p.supportedIris, kFixedIris);
    sim().SetValueFault("kd_nikon_movie_iso", camsim::ValueFault::NoValue);
    EXPECT_EQ(camera->GetIsoParam(p), 0);
    EXPECT_EQ(p.iso, "") << "no value: not even Auto";

    sim().FailLookup("applicationmode", GP_ERROR_IO);
    EXPECT_EQ(camera->InitRecord(), -1);
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"));
}

TEST_F(NikonZ8Test, EveryOperationGuardsAgainstMissingHandles) {
    NikonZ8Camera unguarded(nullptr, nullptr, NikonZ8);
    CameraParams p;
    p.iso = "keep";
    p.supportedShutterSpeed = {"keep"};
    testing::internal::CaptureStdout();
    const std::vector<int> results = {
        unguarded.QueryCameraDispMode(p),
        unguarded.GetIsoParam(p),
        unguarded.GetIrisParam(p),
        unguarded.GetShutterSpeedParam(p),
        unguarded.GetWhiteBalanceParam(p),
        unguarded.GetFocusModeParam(p),
        unguarded.SetIsoParam("100"),
        unguarded.SetIrisParam("f/4"),
        unguarded.SetShutterSpeedParam("1"),
        unguarded.SetWhiteBalanceParam("Flash"),
        unguarded.SetFocusModeParam("MF"),
        unguarded.EnableRecord(true),
        unguarded.InitRecord(),
        unguarded.TouchFocus(0),
    };
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Enter SetFocusModeParam \nEnter EnableRecord \n");
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i], -1) << "operation " << i;
    }
    EXPECT_EQ(log.Count(2, "Failed, parameter error"), static_cast<int>(results.size()));
    EXPECT_EQ(log.Lines().size(), results.size()) << "nothing else is logged";
    EXPECT_EQ(p.iso, "keep");
    EXPECT_EQ(p.supportedShutterSpeed, Strings{"keep"});
}

// Touch points: horizontal factor by range, vertical factor by range in movie mode only.
struct TouchEdge {
    int coordinate;
    int factor;
};

const TouchEdge kEdgesX[] = {
    {0, 400},    {269, 400},  {270, 500},  {349, 500},  {350, 600},  {399, 600},  {400, 650},
    {499, 650},  {500, 700},  {579, 700},  {580, 750},  {679, 750},  {680, 780},  {729, 780},
    {730, 800},  {929, 800},  {930, 825},  {999, 825},  {1000, 850}, {1239, 850}, {1240, 870},
    {1484, 870}, {1485, 900}, {1516, 900}, {1517, 870}, {1539, 870}, {1540, 890}, {1919, 890},
};

const TouchEdge kEdgesY[] = {
    {0, 300},   {229, 300}, {230, 350}, {279, 350}, {280, 400}, {349, 400}, {350, 450}, {399, 450},
    {400, 460}, {443, 460}, {444, 450}, {519, 450}, {520, 500}, {533, 500}, {534, 470}, {629, 470},
    {630, 475}, {679, 475}, {680, 500}, {784, 500}, {785, 470}, {799, 470}, {800, 500}, {1079, 500},
};

std::string Sent(int a, int b) {
    return "kd_touch_focus=(" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

TEST_F(NikonZ8Test, TouchScalesByRangeAtEveryEdgeVerticallyOnlyInMovieMode) {
    for (bool movie : {false, true}) {
        MovieMode(movie);
        for (const TouchEdge& e : kEdgesX) {
            EXPECT_EQ(camera->TouchFocus(PackPoint(e.coordinate, 0)), 0);
            EXPECT_EQ(LastSent(), Sent(e.factor * e.coordinate / 1920, 0)) << "h " << e.coordinate;
        }
        for (const TouchEdge& e : kEdgesY) {
            EXPECT_EQ(camera->TouchFocus(PackPoint(1000, e.coordinate)), 0);
            EXPECT_EQ(LastSent(), Sent(442, (movie ? e.factor : 545) * e.coordinate / 1080))
                << (movie ? "movie" : "photo") << " v " << e.coordinate;
        }
    }
    EXPECT_TRUE(log.Has(5, "point (1919, 0)"));
}

TEST_F(NikonZ8Test, TouchOutsideTheRangesKeepsTheLastHorizontalFactor) {
    struct Case {
        bool movie;
        int h;
        int v;
        const char* sent;
    };
    const Case cases[] = {
        {false, 1919, 0, "kd_touch_focus=(889, 0)"},
        {false, 1920, 540, "kd_touch_focus=(890, 272)"},  // no range: 890 stays
        {false, 270, 1079, "kd_touch_focus=(70, 544)"},   // (350, 270) with 500
        {false, -1, -1, "kd_touch_focus=(0, 0)"},         // no range: 500 stays
        {false, -1920, 0, "kd_touch_focus=(-500, 0)"},
        {true, 3000, 1080, "kd_touch_focus=(781, 545)"},  // neither table matches
        {true, 960, 230, "kd_touch_focus=(412, 74)"},
        {false, 960, 230, "kd_touch_focus=(412, 116)"},  // the vertical factor is reset
        {true, 32767, -32768, "kd_touch_focus=(14079, -16535)"},
    };
    for (const Case& c : cases) {
        MovieMode(c.movie);
        EXPECT_EQ(camera->TouchFocus(PackPoint(c.h, c.v)), 0);
        EXPECT_EQ(LastSent(), c.sent) << c.h << ", " << c.v;
        EXPECT_TRUE(log.Has(5, "point (" + std::to_string(c.h) + ", " + std::to_string(c.v) + ")"));
    }
    sim().FailLookup("kd_touch_focus", GP_ERROR_IO);
    EXPECT_EQ(camera->TouchFocus(PackPoint(10, 10)), -1);
    EXPECT_TRUE(
        log.Has(2, "Failed to gp_camera_get_single_config to get kd_touch_focus widget, ret : 0XFFFFFFF9"));
}

}  // namespace
