// Canon EOS R6, R6 Mark II and RP through libgphoto2 and the simulated bodies:
// mode and movie detection, recording, the translated lists and every failure message.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "CameraFactory.h"
#include "CameraTestData.h"
#include "LogCapture.h"
#include "SimCamera.h"

namespace {

struct Body {
    const char* name;
    const char* profile;
    CameraType type;
};
const Body kR6{"R6", "canon-r6", CanonEosR6};
const Body kR6M2{"R6 II", "canon-r6m2", CanonEosR6M2};
const Body kRP{"RP", "canon-rp", CanonEosRP};
const Body kBodies[] = {kR6, kR6M2, kRP};

// A simulated body and the object the factory makes for it.
struct Canon {
    explicit Canon(const Body& body, CameraType type = Unrecognized) : session(body.profile) {
        camera = CameraFactory::CreateCameraOfType(type != Unrecognized ? type : body.type,
                                                   session.GpCamera(), session.Context());
    }
    camsim::Simulator& sim() { return session.Sim(); }
    // The camera is in movie mode ("1") or stills mode ("0") with this exposure program.
    void Shooting(const std::string& movieSwitch, const std::string& exposure) {
        sim().SetValue("eosmovieswitch", movieSwitch);
        sim().SetValue("autoexposuremode", exposure);
    }
    SimCamera session;
    std::unique_ptr<AbstructCamera> camera;
};

TEST(CanonEosCamera, FactoryMakesEachBodyAndR6AndRPPutStillsOnTheCardAtOnce) {
    for (const Body& body : kBodies) {
        Canon c(body);
        ASSERT_EQ(c.session.Status(), 0) << c.sim().LastError();
        ASSERT_NE(c.camera, nullptr) << body.name;
        EXPECT_EQ(c.camera->GetCameraType(), body.type);
        Strings atStart = body.type == CanonEosR6M2 ? Strings{} : Strings{"capturetarget=Memory card"};
        EXPECT_EQ(c.sim().Received(), atStart) << body.name;
    }
    // A body that refuses the card at start is still driven; the log says why.
    for (const Body& body : {kR6, kRP}) {
        SimCamera session(body.profile);
        session.Sim().FailSet("capturetarget", GP_ERROR_IO);
        LogCapture log;
        EXPECT_NE(CameraFactory::CreateCameraOfType(body.type, session.GpCamera(), session.Context()),
                  nullptr);
        EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_set_single_config"}) << body.name;
    }
}

struct ModeCase {
    const char* movieSwitch;
    const char* exposure;
    std::array<const char*, 3> mode;  // R6, R6 II, RP
};

TEST(CanonEosCamera, MovieSwitchRenamesTheExposureProgramPerModel) {
    const ModeCase cases[] = {
        {"0", "TV", {"TV", "TV", "TV"}},
        {"0", "Manual", {"Manual", "Manual", "Manual"}},
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
        Canon c(kBodies[b]);
        for (const ModeCase& mc : cases) {
            c.Shooting(mc.movieSwitch, mc.exposure);
            const bool movie = std::string(mc.movieSwitch) == "1";
            CameraParams p = InMode("previous");
            p.supportedMode = {"kept?"};
            p.dispMode = !movie;
            EXPECT_EQ(c.camera->GetCurrentMode(p), 0);
            EXPECT_EQ(p.mode, mc.mode[b]) << kBodies[b].name << " " << mc.movieSwitch << "/" << mc.exposure;
            // Only the R6 II keeps the list and tells the display mode.
            EXPECT_EQ(p.supportedMode.empty(), b != 1);
            EXPECT_EQ(p.dispMode, b == 1 ? movie : !movie);
        }
    }
}

TEST(CanonEosCamera, RecordingRunsThroughCaptureAndRecordTargetsAndNeedsMovieMode) {
    for (const Body& body : kBodies) {
        Canon c(body);
        c.sim().ClearReceived();
        LogCapture log;
        CameraParams p;
        EXPECT_EQ(c.camera->EnableRecord(true), -1) << body.name << ": the camera refuses in stills mode";
        EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_set_single_config"});
        EXPECT_EQ(c.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_FALSE(p.recordEnable);
        EXPECT_EQ(c.camera->EnableRecord(false), 0);

        c.Shooting("1", "P");
        EXPECT_EQ(c.camera->EnableRecord(true), 0);
        EXPECT_EQ(c.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_TRUE(p.recordEnable) << body.name;
        EXPECT_EQ(c.camera->EnableRecord(false), 0);
        EXPECT_EQ(c.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_FALSE(p.recordEnable);
        EXPECT_EQ(c.sim().Received(),
                  (Strings{"capturetarget=Memory card", "movierecordtarget=Card", "capturetarget=Memory card",
                           "movierecordtarget=None", "capturetarget=Memory card", "movierecordtarget=Card",
                           "capturetarget=Memory card", "movierecordtarget=None"}));

        for (const char* state : {"card", "SDRAM", "Card"}) {
            c.sim().SetValue("movierecordtarget", state);
            p.recordEnable = false;
            EXPECT_EQ(c.camera->GetRecordEnable(p, nullptr), 0);
            EXPECT_EQ(p.recordEnable, std::string(state) == "Card") << state;
        }
        c.sim().SetValueFault("movierecordtarget", camsim::ValueFault::NoValue);
        EXPECT_EQ(c.camera->GetRecordEnable(p, nullptr), 0);
        EXPECT_TRUE(p.recordEnable) << "an unreadable state changes nothing";
    }
}

TEST(CanonEosCamera, IrisListsAndAutomaticApertureTexts) {
    struct IrisCase {
        Strings choices;
        const char* value;
        std::array<Strings, 3> lists;  // R6, R6 II, RP
        std::array<const char*, 3> iris;
    };
    const IrisCase cases[] = {
        {{"f/2.8", "f/4", "f/5.6"},
         "f/4",
         {{{"Auto", "f/4", "f/5.6"}, {"f/2.8", "f/4", "f/5.6"}, {"f/2.8", "f/4", "f/5.6"}}},
         {"f/4", "f/4", "f/4"}},
        {{"f/4", "implicit auto", "f/5.6"},
         "implicit auto",
         {{{"Auto", "implicit auto", "f/5.6"}, {"f/4", "implicit auto", "f/5.6"}, {"Auto", "f/4", "f/5.6"}}},
         {"implicit auto", "implicit auto", "Auto"}},
        {{"f/4", "IMPLICIT AUTO", "Unknown value 00ff"},
         "Unknown value 00ff",
         {{{"Auto", "IMPLICIT AUTO", "Unknown value 00ff"},
           {"f/4", "IMPLICIT AUTO", "Auto"},
           {"Auto", "Auto", "f/4"}}},
         {"Auto", "Auto", "Auto"}},
        {{"f/4", "f/8"},
         "IMPLICIT AUTO",
         {{{"Auto", "f/8"}, {"f/4", "f/8"}, {"f/4", "f/8"}}},
         {"IMPLICIT AUTO", "IMPLICIT AUTO", "IMPLICIT AUTO"}},
    };
    for (size_t b = 0; b < 3; ++b) {
        Canon c(kBodies[b]);
        for (const IrisCase& ic : cases) {
            c.sim().SetChoices("aperture", ic.choices);
            c.sim().SetValue("aperture", ic.value);
            CameraParams p;
            EXPECT_EQ(c.camera->GetIrisParam(p), 0);
            EXPECT_EQ(p.iris, ic.iris[b]) << kBodies[b].name << " " << ic.value;
            EXPECT_EQ(p.supportedIris, ic.lists[b]) << kBodies[b].name << " " << ic.value;
        }
        // No choices: only the R6 offers its fixed list.
        c.sim().SetChoices("aperture", {});
        CameraParams p;
        EXPECT_EQ(c.camera->GetIrisParam(p), 0);
        EXPECT_EQ(p.supportedIris, b == 0 ? kFixedIris : Strings{}) << kBodies[b].name;
        // An unreadable value: the list is still built and the read's status returned.
        c.sim().SetValueFault("aperture", camsim::ValueFault::Typeless);
        EXPECT_EQ(c.camera->GetIrisParam(p), GP_ERROR_BAD_PARAMETERS);
        EXPECT_EQ(p.iris, "");
        EXPECT_EQ(p.supportedIris, b == 0 ? kFixedIris : Strings{});
    }
}

TEST(CanonEosCamera, IrisAutoIsSentAsTheDriverTextTheBodyAndProgramNeed) {
    struct AutoCase {
        const Body& body;
        const char* movieSwitch;
        const char* exposure;
        const char* value;
        const char* sent;
        int result;
    };
    const AutoCase cases[] = {
        {kR6, "0", "Manual", "Auto", "Unknown value 00ff", 0},
        {kR6, "0", "Manual", "f/4", "f/4", 0},
        {kR6M2, "1", "TV", "Auto", "Unknown value 00ff", 0},
        {kRP, "0", "Fv", "Auto", "Unknown value 00ff", 0},
        {kRP, "0", "TV", "Auto", "implicit auto", 0},  // the driver's spelling
        {kRP, "0", "Tv", "Auto", "Auto", -1},          // not a choice: refused
        {kRP, "0", "Manual", "Auto", "Auto", -1},      // not a choice: refused
        {kRP, "1", "Fv", "Auto", "Auto", -1},          // movie mode: no program name
        {kRP, "0", "Fv", "f/4", "f/4", 0},
        {kRP, "0", "Fv", "f/99", "f/99", -1},
    };
    for (const AutoCase& ac : cases) {
        Canon c(ac.body);
        c.Shooting(ac.movieSwitch, ac.exposure);
        c.sim().SetChoices("aperture", {"Unknown value 00ff", "implicit auto", "f/4", "f/5.6"});
        c.sim().SetValue("aperture", "f/5.6");
        c.sim().ClearReceived();
        LogCapture log;
        EXPECT_EQ(c.camera->SetIrisParam(ac.value), ac.result) << ac.body.name << " " << ac.exposure;
        EXPECT_EQ(c.sim().Received(), Strings{std::string("aperture=") + ac.sent}) << ac.body.name;
        EXPECT_EQ(log.Has(2, "Failed to gp_camera_set_single_config"), ac.result != 0);
    }
}

TEST(CanonEosCamera, ShutterSpeedBulbIsAutoOnlyOnTheRP) {
    struct ShutterCase {
        Strings choices;
        const char* mode;
        std::array<Strings, 3> lists;  // R6, R6 II, RP
    };
    const ShutterCase cases[] = {
        {{"bulb", "30", "1/8000"},
         "Manual",
         {{{"30", "1/8000"}, {"30", "1/8000"}, {"Auto", "30", "1/8000"}}}},
        {{"30", "BULB", "0/0", "1/250"},
         "M",
         {{{"Bulb", "30", "1/250"}, {"Bulb", "30", "1/250"}, {"Auto", "30", "0/0", "1/250"}}}},
    };
    for (size_t b = 0; b < 3; ++b) {
        Canon c(kBodies[b]);
        c.sim().SetValue("shutterspeed", "bulb");
        for (const ShutterCase& sc : cases) {
            c.sim().SetChoices("shutterspeed", sc.choices);
            CameraParams p = InMode(sc.mode);
            EXPECT_EQ(c.camera->GetShutterSpeedParam(p), 0);
            EXPECT_EQ(p.shutterSpeed, b == 2 ? "Auto" : "bulb");
            EXPECT_EQ(p.supportedShutterSpeed, sc.lists[b]) << kBodies[b].name << " " << sc.mode;
        }
        c.sim().SetChoices("shutterspeed", {"30"});
        CameraParams p = InMode("P");
        EXPECT_EQ(c.camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.supportedShutterSpeed, b == 2 ? Strings{} : kFixedShutterNoBulb) << "no Bulb outside M";

        c.sim().SetChoices("shutterspeed", {"bulb", "1/250"});
        c.sim().ClearReceived();
        LogCapture log;
        EXPECT_EQ(c.camera->SetShutterSpeedParam("Auto"), b == 2 ? 0 : -1);
        EXPECT_EQ(c.camera->SetShutterSpeedParam("1/250"), 0);
        EXPECT_EQ(c.sim().Received(),
                  (Strings{b == 2 ? "shutterspeed=bulb" : "shutterspeed=Auto", "shutterspeed=1/250"}));
        EXPECT_EQ(log.Count(5, " ui set value.c_str() = Auto"), b == 2 ? 1 : 0);
    }
}

TEST(CanonEosCamera, AwbWhiteComesSecondForTheBodysOwnTypeOnly) {
    const Strings profile = {
        "Auto",   "Daylight",          "Shadow",   "Cloudy", "Tungsten", "Fluorescent", "Flash",
        "Manual", "Color Temperature", "AWB White"};
    const Strings reordered = {"Auto",     "AWB White",   "Daylight", "Shadow", "Cloudy",
                               "Tungsten", "Fluorescent", "Flash",    "Manual", "Color Temperature"};
    for (const Body& body : kBodies) {
        Canon c(body);
        CameraParams p;
        EXPECT_EQ(c.camera->GetWhiteBalanceParam(p), 0);
        EXPECT_EQ(p.whiteBalance, "Auto");
        EXPECT_EQ(p.supportedWhiteBalance, reordered) << body.name;
        for (const Strings& kept : {Strings{"AWB White"}, Strings{"AWB White", "Auto", "Daylight"}}) {
            c.sim().SetChoices("whitebalance", kept);
            EXPECT_EQ(c.camera->GetWhiteBalanceParam(p), 0);
            EXPECT_EQ(p.supportedWhiteBalance, kept);
        }
        c.sim().SetValueFault("whitebalance", camsim::ValueFault::Typeless);
        EXPECT_EQ(c.camera->GetWhiteBalanceParam(p), GP_ERROR_BAD_PARAMETERS);
    }
    // Type 12 makes an R6 II that is not of the R6 II's own type.
    Canon alt(kR6M2, CanonEosR6M2Alt);
    ASSERT_NE(alt.camera, nullptr);
    EXPECT_EQ(alt.camera->GetCameraType(), 12);
    CameraParams p;
    EXPECT_EQ(alt.camera->GetWhiteBalanceParam(p), 0);
    EXPECT_EQ(p.supportedWhiteBalance, profile);
}

TEST(CanonEosCamera, FocusListsFollowFocusModeAndProgramPerModel) {
    struct FocusCase {
        const Body& body;
        const char* focus;
        const char* mode;
        const char* focusMode;
        Strings list;
    };
    const Strings five = {"One Shot", "AI Focus", "AI Servo", "Manual", "Unknown value 0007"};
    const FocusCase cases[] = {
        {kR6, "One Shot", "Manual", "One Shot", {"One Shot", "AI Servo", "MF"}},
        {kR6, "One Shot", "Movie (M)", "One Shot", {"One Shot", "MF"}},
        {kR6, "One Shot", "Movie Auto", "One Shot", {"One Shot", "MF"}},
        {kR6, "One Shot", "Movie (Auto)", "One Shot", {"One Shot", "AI Servo", "MF"}},
        {kR6, "Manual", "Manual", "MF", {"MF"}},
        {kR6, "Automatic", "P", "AF-S", {"One Shot", "AI Servo", "MF"}},
        {kR6M2, "One Shot", "Movie (M)", "One Shot", {"One Shot", "AI Focus", "AI Servo", "MF"}},
        {kR6M2, "Manual", "Manual", "MF", {"MF"}},
        {kRP,
         "One Shot",
         "Tv",
         "One Shot",
         {"One Shot", "AI Servo", "One Shot", "AI Servo", "One Shot", "AI Servo", "One Shot", "AI Servo",
          "One Shot", "AI Servo"}},
        {kRP, "One Shot", "Portrait", "One Shot", {"One Shot", "AI Focus", "AI Servo", "MF", "One Shot"}},
        {kRP,
         "Unknown value 0007",
         "Auto",
         "One Shot",
         {"One Shot", "AI Focus", "AI Servo", "MF", "One Shot"}},
        {kRP, "Manual", "Tv", "MF", {"One Shot", "AI Focus", "AI Servo", "MF", "One Shot"}},
    };
    for (const FocusCase& fc : cases) {
        Canon c(fc.body);
        // "Unknown value 0007" only where a body has it.
        c.sim().SetChoices("focusmode",
                           fc.body.type == CanonEosRP ? five : Strings(five.begin(), five.end() - 1));
        c.sim().SetValue("focusmode", fc.focus);
        CameraParams p = InMode(fc.mode);
        EXPECT_EQ(c.camera->GetFocusModeParam(p), 0);
        EXPECT_EQ(p.focusMode, fc.focusMode);
        EXPECT_EQ(p.supportedFocusMode, fc.list) << fc.body.name << " " << fc.focus << " in " << fc.mode;
    }
    for (const Body& body : kBodies) {
        Canon c(body);
        c.sim().SetValue("focusmode", "Undefined");
        CameraParams p = InMode("Manual");
        p.focusMode = "stale";
        EXPECT_EQ(c.camera->GetFocusModeParam(p), -1);
        EXPECT_TRUE(p.focusMode.empty() && p.supportedFocusMode.empty());
        c.sim().SetValueFault("focusmode", camsim::ValueFault::NoValue);
        EXPECT_EQ(c.camera->GetFocusModeParam(p), 0);
        EXPECT_EQ(p.focusMode, "");
        EXPECT_FALSE(p.supportedFocusMode.empty());
    }
}

// The operations of the camera object, as the plug-in calls them.
using Op = int (*)(AbstructCamera&, CameraParams&);
const Op kMode = [](AbstructCamera& c, CameraParams& p) { return c.GetCurrentMode(p); };
const Op kRecordOn = [](AbstructCamera& c, CameraParams&) { return c.EnableRecord(true); };
const Op kRecordOff = [](AbstructCamera& c, CameraParams&) { return c.EnableRecord(false); };
const Op kRecordState = [](AbstructCamera& c, CameraParams& p) { return c.GetRecordEnable(p, nullptr); };
const Op kIris = [](AbstructCamera& c, CameraParams& p) { return c.GetIrisParam(p); };
const Op kSetIris = [](AbstructCamera& c, CameraParams&) { return c.SetIrisParam("Auto"); };
const Op kShutter = [](AbstructCamera& c, CameraParams& p) { return c.GetShutterSpeedParam(p); };
const Op kSetShutter = [](AbstructCamera& c, CameraParams&) { return c.SetShutterSpeedParam("1/250"); };
const Op kWhiteBalance = [](AbstructCamera& c, CameraParams& p) { return c.GetWhiteBalanceParam(p); };
const Op kFocus = [](AbstructCamera& c, CameraParams& p) { return c.GetFocusModeParam(p); };
const Op kTouch = [](AbstructCamera& c, CameraParams&) { return c.TouchFocus(0x03C0021C); };

using Messages = std::array<std::string, 3>;  // R6, R6 II, RP

Messages Each(const std::string& message) {
    return {message, message, message};
}

TEST(CanonEosCamera, EveryFailureIsLoggedWithItsModelsMessageAndReturnsMinusOne) {
    using VF = camsim::ValueFault;
    const std::string lookup = "Failed to gp_camera_get_single_config to get ";
    const std::string noWidget = lookup + "widget";
    const std::string noWidgetIo = lookup + "widget, ret : 0XFFFFFFF9";
    const std::string noSwitch = lookup + "eosmovieswitch widget";
    const std::string noExposure = lookup + "autoexposuremode widget";
    const std::string noFocus = lookup + "focusmode widget";
    const std::string noShutterIo = lookup + "shutterspeed widget, ret : 0XFFFFFFF9";
    const struct {
        const char* widget;
        VF fault;  // None: the lookup fails
        Op op;
        Messages message;
    } cases[] = {
        {"eosmovieswitch", VF::None, kMode, {noSwitch, noWidgetIo, noSwitch}},
        {"autoexposuremode", VF::None, kMode, {noExposure, noWidgetIo, noExposure}},
        {"eosmovieswitch",
         VF::NoValue,
         kMode,
         {"Failed to gp_widget_get_value eosmovieswitch widget", "Failed to gp_widget_get_value, ret : 0",
          "Failed to gp_widget_get_value eosmovieswitch widget"}},
        {"autoexposuremode",
         VF::Typeless,
         kMode,
         {"Failed to gp_widget_get_value autoexposuremode widget",
          "Failed to gp_widget_get_value, ret : 0XFFFFFFFE",
          "Failed to gp_widget_get_value autoexposuremode widget"}},
        {"capturetarget", VF::None, kRecordOn, {noWidgetIo, lookup + "capturetarget widget", noWidgetIo}},
        {"movierecordtarget", VF::None, kRecordOff, Each(noWidget)},
        {"movierecordtarget", VF::None, kRecordState, Each(lookup + "movierecordtarget widget")},
        {"aperture", VF::None, kIris, {lookup + "aperture widget", noFocus, noFocus}},
        {"aperture", VF::None, kSetIris, Each(noWidgetIo)},
        {"focusmode", VF::None, kFocus, Each(noFocus)},
        {"whitebalance", VF::None, kWhiteBalance, Each(lookup + "whitebalance widget")},
        {"shutterspeed", VF::None, kShutter, {noShutterIo, noShutterIo, noFocus}},
        {"shutterspeed", VF::None, kSetShutter, Each(noShutterIo)},
    };
    for (size_t b = 0; b < 3; ++b) {
        for (const auto& fc : cases) {
            Canon c(kBodies[b]);
            if (fc.fault == VF::None) {
                c.sim().FailLookup(fc.widget, GP_ERROR_IO);
            } else {
                c.sim().SetValueFault(fc.widget, fc.fault);
            }
            c.Shooting("1", "P");
            LogCapture log;
            CameraParams p;
            EXPECT_EQ(fc.op(*c.camera, p), -1) << kBodies[b].name << " " << fc.widget;
            EXPECT_TRUE(log.Has(2, fc.message[b]))
                << kBodies[b].name << " " << fc.widget << ": " << fc.message[b];
        }
    }
}

TEST(CanonEosCamera, FailedModeReadLeavesTheR6IIRecordAsItWas) {
    for (size_t b = 0; b < 3; ++b) {
        Canon c(kBodies[b]);
        c.sim().FailLookup("autoexposuremode", GP_ERROR_IO);
        CameraParams p = InMode("Movie (TV)");
        p.dispMode = true;
        EXPECT_EQ(c.camera->GetCurrentMode(p), -1);
        EXPECT_EQ(p.mode, b == 1 ? "Movie (TV)" : "");
        EXPECT_TRUE(p.dispMode);
    }
}

TEST(CanonEosCamera, RefusedCaptureTargetStopsTheRecordingBeforeItsTarget) {
    for (const Body& body : kBodies) {
        Canon c(body);
        c.Shooting("1", "P");
        c.sim().FailSet("capturetarget", GP_ERROR_IO);
        c.sim().ClearReceived();
        LogCapture log;
        EXPECT_EQ(c.camera->EnableRecord(true), -1);
        EXPECT_EQ(c.sim().Received(), Strings{"capturetarget=Memory card"}) << body.name;
        EXPECT_TRUE(log.Has(2, "Failed to gp_camera_set_single_config"));
    }
}

TEST(CanonEosCamera, WithoutHandlesEveryOperationRefusesAtOnce) {
    const Op operations[] = {kMode,    kRecordOn,   kRecordState,  kIris,  kSetIris,
                             kShutter, kSetShutter, kWhiteBalance, kFocus, kTouch};
    for (const Body& body : kBodies) {
        std::unique_ptr<AbstructCamera> camera =
            CameraFactory::CreateCameraOfType(body.type, nullptr, nullptr);
        ASSERT_NE(camera, nullptr);
        for (size_t i = 0; i < sizeof(operations) / sizeof(operations[0]); ++i) {
            LogCapture log;
            CameraParams p = InMode("kept");
            EXPECT_EQ(operations[i](*camera, p), -1) << body.name << " operation " << i;
            EXPECT_EQ(log.Count(2, "Failed, parameter error"), 1) << body.name << " operation " << i;
            EXPECT_EQ(p.mode, "kept");
        }
    }
}

}  // namespace
