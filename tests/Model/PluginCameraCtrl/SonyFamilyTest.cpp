// The Sony bodies as the factory makes them, each on its simulated camera: exposure
// program from "500e", the flash rule of the white balance, the ZV-E10 ISO set and the
// FX3 / ZV-E10 II shutter lists.
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CameraFactory.h"
#include "LogCapture.h"
#include "SimCamera.h"
#include "SonyA7M3Camera.h"
#include "SonyA7M4Camera.h"
#include "SonyA7S3Camera.h"
#include "SonyFX30Camera.h"
#include "SonyFX3Camera.h"
#include "SonyZVE10Camera.h"
#include "SonyZVE10M2Camera.h"

namespace {

using Strings = std::vector<std::string>;

// One simulated body opened through libgphoto2, with the object the factory makes for it.
struct Body {
    explicit Body(const std::string& profile) : session(profile) {
        model = session.Sim().Model();
        camera = CameraFactory().CreateCamera(model.c_str(), session.GpCamera(), session.Context());
    }
    camsim::Simulator& Sim() { return session.Sim(); }

    SimCamera session;
    std::string model;
    std::unique_ptr<AbstructCamera> camera;
};

class SonyFamilyTest : public ::testing::Test {
  protected:
    // The body of `profile`, opened anew when the previous call named another one: the
    // simulator serves one state directory per process at a time.
    Body& Open(const std::string& profile) {
        if (!opened || opened->Sim().Profile() != profile) {
            opened.reset();
            opened.reset(new Body(profile));
            EXPECT_EQ(opened->session.Status(), 0) << opened->Sim().LastError();
            EXPECT_NE(opened->camera, nullptr) << profile;
            log.Clear();
        }
        return *opened;
    }
    // The lines logged since the last call, as "level message".
    Strings Logged() {
        Strings out;
        for (const LogLine& l : log.Lines())
            out.push_back(std::to_string(l.level) + " " + l.message);
        log.Clear();
        return out;
    }
    static CameraParams Record(const std::string& mode, int cameraType = 0) {
        CameraParams p;
        p.mode = mode;
        p.cameraType = static_cast<CameraType>(cameraType);
        return p;
    }

    LogCapture log;
    std::unique_ptr<Body> opened;
};

const char* const kAllSony[] = {"sony-a7m3", "sony-a7m4", "sony-a7s3", "sony-zve10",
                                "sony-fx3",  "sony-fx3a", "sony-fx30", "sony-zve10m2"};

std::string ClassOf(const AbstructCamera* c) {
    if (dynamic_cast<const SonyA7M3Camera*>(c) != nullptr)
        return "SonyA7M3Camera";
    if (dynamic_cast<const SonyA7M4Camera*>(c) != nullptr)
        return "SonyA7M4Camera";
    if (dynamic_cast<const SonyA7S3Camera*>(c) != nullptr)
        return "SonyA7S3Camera";
    if (dynamic_cast<const SonyZVE10Camera*>(c) != nullptr)
        return "SonyZVE10Camera";
    if (dynamic_cast<const SonyFX3Camera*>(c) != nullptr)
        return "SonyFX3Camera";
    if (dynamic_cast<const SonyFX30Camera*>(c) != nullptr)
        return "SonyFX30Camera";
    if (dynamic_cast<const SonyZVE10M2Camera*>(c) != nullptr)
        return "SonyZVE10M2Camera";
    return c == nullptr ? "none" : "another class";
}

TEST(SonyFactory, EachSonyModelGetsItsClassAndKeepsItsType) {
    struct Row {
        const char* model;
        int type;
        const char* className;
    };
    const Row rows[] = {
        {"Sony Alpha-A7 III (PC Control)", 1, "SonyA7M3Camera"},
        {"Sony Alpha-A7 IV (PC Control)", 2, "SonyA7M4Camera"},
        {"Sony DSC-A7S III (Control)", 3, "SonyA7S3Camera"},
        {"Sony ZV-E10 (Control)", 4, "SonyZVE10Camera"},
        {"Sony ILME-FX3 (PC Control)", 5, "SonyFX3Camera"},
        {"Sony ILME-FX3A (PC Control)", 6, "SonyFX3Camera"},
        {"Sony ILME-FX30 (PC Control)", 7, "SonyFX30Camera"},
        {"Sony ZV-E10M2 (Control)", 8, "SonyZVE10M2Camera"},
    };
    CameraFactory factory;
    for (const Row& row : rows) {
        LogCapture capture;
        std::unique_ptr<AbstructCamera> camera = factory.CreateCamera(row.model, nullptr, nullptr);
        EXPECT_EQ(ClassOf(camera.get()), row.className) << row.model;
        ASSERT_NE(camera, nullptr) << row.model;
        EXPECT_EQ(camera->GetCameraType(), row.type) << row.model;
        EXPECT_EQ(capture.Count(2, "Failed, unrecog camera, type : " + std::to_string(row.type)), 0);
    }
}

// Every row of every program table, read from the camera's "500e": the A7 IV and A7S III
// by the whole value text, the others by its low 16 bits (the FX3A and FX30 share the FX3's).
TEST_F(SonyFamilyTest, EveryProgramCodeGivesTheModeTextOfItsBody) {
    struct Programs {
        const char* profile;
        std::vector<std::pair<const char*, const char*>> valueToMode;
    };
    // clang-format off
    const Programs bodies[] = {
        {"sony-a7m4", {{"1", "M"}, {"65538", "P"}, {"131075", "A"}, {"196612", "S"},
                       {"294912", "Intelligent Auto"}, {"491600", "Movie (P)"}, {"491601", "Movie (A)"},
                       {"491602", "Movie (S)"}, {"491603", "Movie (M)"}, {"491604", "Movie (Scene)"},
                       {"622681", "Unknown value 8059"}, {"622682", "Unknown value 805a"},
                       {"622683", "Unknown value 805b"}, {"622684", "Unknown value 805c"},
                       {"622685", "Unknown value 805d"}}},
        {"sony-a7s3", {{"1", "M"}, {"65538", "P"}, {"131075", "A"}, {"196612", "S"},
                       {"294912", "Intelligent Auto"}, {"491600", "Movie (P)"}, {"491601", "Movie (A)"},
                       {"491602", "Movie (S)"}, {"491603", "Movie (M)"}, {"622681", "S&Q (P)"},
                       {"622682", "S&Q (A)"}, {"622683", "S&Q (S)"}, {"622684", "S&Q (M)"}}},
        {"sony-fx3", {{"1", "M"}, {"65538", "P"}, {"131075", "A"}, {"196612", "S"},
                      {"294912", "Intelligent Auto"}, {"491600", "Movie (P)"}, {"491601", "Movie (A)"},
                      {"491602", "Movie (S)"}, {"491603", "Movie (M)"}, {"622681", "S&Q (P)"},
                      {"622682", "S&Q (A)"}, {"622683", "S&Q (S)"}, {"622684", "S&Q (M)"},
                      {"32912", "Unknown value 8090"}}},
        {"sony-fx3a", {{"622736", "Unknown value 8090"}, {"491601", "Movie (A)"}}},
        {"sony-fx30", {{"622736", "Unknown value 8090"}, {"622683", "S&Q (S)"}}},
        {"sony-zve10m2", {{"1", "M"}, {"65538", "P"}, {"131075", "A"}, {"196612", "S"},
                          {"393223", "Portrait"}, {"294912", "Intelligent Auto"}, {"360465", "Sports Action"},
                          {"360466", "Sunset"}, {"360467", "Night Scene"}, {"360468", "Landscape"},
                          {"360469", "Macro"}, {"360471", "Night Portrait"}, {"491600", "Movie (P)"},
                          {"491601", "Movie (A)"}, {"491602", "Movie (S)"}, {"491603", "Movie (M)"},
                          {"491604", "Movie (Scene)"}, {"622681", "S&Q (P)"}, {"622682", "S&Q (A)"},
                          {"622683", "S&Q (S)"}, {"622684", "S&Q (M)"}, {"622685", "S&Q (Scene)"},
                          {"32915", "S&Q_V2 (P)"}, {"622740", "S&Q_V2 (A)"}, {"622741", "S&Q_V2 (S)"},
                          {"622742", "S&Q_V2 (M)"}, {"622743", "S&Q_V2 (Scene)"}}},
    };
    // clang-format on
    for (const Programs& programs : bodies) {
        Body& body = Open(programs.profile);
        for (const auto& row : programs.valueToMode) {
            ASSERT_EQ(body.Sim().SetValue("500e", row.first), 0);
            CameraParams p = Record("stale");
            p.supportedMode = {"stale"};
            EXPECT_EQ(body.camera->GetCurrentMode(p), 0) << programs.profile << " " << row.first;
            EXPECT_EQ(p.mode, row.second) << programs.profile << " " << row.first;
            EXPECT_TRUE(p.supportedMode.empty());
            EXPECT_EQ(Logged(), Strings{}) << programs.profile << " " << row.first;
        }
    }
}

// What a value outside a body's table gives: the text itself, a log line per body,
// or an error for a value that is no number at all.
TEST_F(SonyFamilyTest, ValuesOutsideTheTableAndLookupStyles) {
    struct Row {
        const char* profile;
        const char* value;
        int result;
        const char* mode;
        Strings logged;
    };
    const Row rows[] = {
        // The whole-text bodies know no bare codes, and say nothing about them.
        {"sony-a7m4", "2", 0, "2", {}},
        {"sony-a7m4", "32768", 0, "32768", {}},
        {"sony-a7m4", " 65538", 0, " 65538", {}},
        {"sony-a7m4", "P", 0, "P", {}},
        {"sony-a7m4", "", 0, "", {}},
        {"sony-a7s3", "491604", 0, "491604", {}},
        {"sony-a7s3", "622685", 0, "622685", {}},
        {"sony-a7s3", "2", 0, "2", {}},
        // The number readers take the low 16 bits of whatever number they find.
        {"sony-fx3", "2", 0, "P", {}},
        {"sony-fx3", " +65538", 0, "P", {}},
        {"sony-fx3", "65538 (P)", 0, "P", {}},
        {"sony-fx3", "-65534", 0, "P", {}},
        {"sony-fx3", "4294901762", 0, "P", {}},
        {"sony-fx3", "491604", 0, "491604", {"5 fx3 no support mode : 491604"}},
        {"sony-fx3a", "5", 0, "5", {"5 fx3 no support mode : 5"}},
        {"sony-fx30", "5", 0, "5", {"2 fx3 no support mode : 5"}},
        {"sony-fx30", "622685", 0, "622685", {"2 fx3 no support mode : 622685"}},
        {"sony-zve10m2", "6", 0, "6", {"5 zve10m2 no support mode : 6"}},
        {"sony-zve10m2", "622736", 0, "622736", {"5 zve10m2 no support mode : 622736"}},
        // No number: an error, nothing stored.
        {"sony-fx3", "P", -1, "", {"2 Failed, 500e value is no program number : P"}},
        {"sony-fx30", "", 0, "", {}},  // an empty value is no value
        {"sony-fx30", "abc", -1, "", {"2 Failed, 500e value is no program number : abc"}},
        {"sony-zve10m2", "4294967296", -1, "", {"2 Failed, 500e value is no program number : 4294967296"}},
        {"sony-zve10m2", "-2147483649", -1, "", {"2 Failed, 500e value is no program number : -2147483649"}},
    };
    for (const Row& row : rows) {
        Body& body = Open(row.profile);
        ASSERT_EQ(body.Sim().SetValue("500e", row.value), 0);
        Logged();
        CameraParams p = Record("stale");
        EXPECT_EQ(body.camera->GetCurrentMode(p), row.result) << row.profile << " '" << row.value << "'";
        EXPECT_EQ(p.mode, row.mode) << row.profile << " '" << row.value << "'";
        EXPECT_EQ(Logged(), row.logged) << row.profile << " '" << row.value << "'";
    }

    // The A7 III and ZV-E10 keep the driver's "expprogram" text.
    for (const char* profile : {"sony-a7m3", "sony-zve10"}) {
        Body& body = Open(profile);
        ASSERT_EQ(body.Sim().SetValue("expprogram", "Movie (S)"), 0);
        ASSERT_EQ(body.Sim().SetValue("500e", "1"), 0);
        CameraParams p = Record("");
        EXPECT_EQ(body.camera->GetCurrentMode(p), 0) << profile;
        EXPECT_EQ(p.mode, "Movie (S)") << profile;
    }
}

TEST_F(SonyFamilyTest, ProgramReadFailuresPerBody) {
    struct Row {
        const char* profile;
        const char* lookupFailure;
        const char* valueFailure;  // logged when the value cannot be read, or nullptr
    };
    const Row rows[] = {
        {"sony-a7m4", "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9", nullptr},
        {"sony-a7s3", "2 Failed to gp_camera_get_single_config to get 500e widget", nullptr},
        {"sony-fx3", "2 Failed to gp_camera_get_single_config to get 500e widget", nullptr},
        {"sony-fx3a", "2 Failed to gp_camera_get_single_config to get 500e widget", nullptr},
        {"sony-fx30", "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9",
         "2 Failed to gp_widget_get_value, ret : 0XFFFFFFFE"},
        {"sony-zve10m2", "2 Failed to gp_camera_get_single_config to get 500e widget", nullptr},
    };
    for (const Row& row : rows) {
        Body& body = Open(row.profile);
        Logged();
        CameraParams p = Record("stale");
        p.supportedMode = {"stale"};

        ASSERT_EQ(body.Sim().SetValueFault("500e", camsim::ValueFault::NoValue), 0);
        EXPECT_EQ(body.camera->GetCurrentMode(p), 0) << row.profile << ": a read of no text";
        EXPECT_EQ(p.mode, "");
        EXPECT_TRUE(p.supportedMode.empty());
        EXPECT_EQ(Logged(), Strings{}) << row.profile;

        ASSERT_EQ(body.Sim().SetValueFault("500e", camsim::ValueFault::Typeless), 0);
        p = Record("stale");
        EXPECT_EQ(body.camera->GetCurrentMode(p), GP_ERROR_BAD_PARAMETERS) << row.profile;
        EXPECT_EQ(p.mode, "");
        EXPECT_EQ(Logged(), row.valueFailure ? Strings{row.valueFailure} : Strings{}) << row.profile;
        ASSERT_EQ(body.Sim().SetValueFault("500e", camsim::ValueFault::None), 0);

        ASSERT_EQ(body.Sim().FailLookup("500e", GP_ERROR_IO), 0);
        p = Record("stale");
        p.supportedMode = {"stale"};
        EXPECT_EQ(body.camera->GetCurrentMode(p), -1) << row.profile;
        EXPECT_EQ(p.mode, "");
        EXPECT_TRUE(p.supportedMode.empty());
        EXPECT_EQ(Logged(), Strings{row.lookupFailure}) << row.profile;
        ASSERT_EQ(body.Sim().FailLookup("500e", 0), 0);
    }
}

TEST_F(SonyFamilyTest, EveryOperationWithAGuardRefusesMissingHandles) {
    CameraFactory factory;
    for (const char* profile : kAllSony) {
        const std::string model = Open(profile).model;
        std::unique_ptr<AbstructCamera> camera = factory.CreateCamera(model.c_str(), nullptr, nullptr);
        ASSERT_NE(camera, nullptr);
        Logged();
        CameraParams p = Record("P");
        p.whiteBalance = "keep";
        p.supportedWhiteBalance = {"keep"};
        p.shutterSpeed = "keep";
        EXPECT_EQ(camera->GetCurrentMode(p), -1) << profile;
        EXPECT_EQ(camera->GetWhiteBalanceParam(p), -1) << profile;
        EXPECT_EQ(camera->GetShutterSpeedParam(p), -1) << profile;
        EXPECT_EQ(camera->SetIsoParam("800"), -1) << profile;
        EXPECT_EQ(p.mode, "P");
        EXPECT_EQ(p.whiteBalance, "keep");
        EXPECT_EQ(p.supportedWhiteBalance, Strings{"keep"});
        EXPECT_EQ(p.shutterSpeed, "keep");
        EXPECT_EQ(Logged(), Strings(4, "2 Failed, parameter error")) << profile;
    }
}

TEST_F(SonyFamilyTest, FlashWhiteBalanceFollowsEachBodysRule) {
    struct Row {
        const char* profile;
        const char* mode;
        bool flash;
    };
    const Row rows[] = {
        {"sony-a7m3", "P", true},
        {"sony-a7m3", "M", true},
        {"sony-a7m3", "", true},
        {"sony-a7m3", "Intelligent Auto", true},
        {"sony-a7m3", "S&Q", false},
        {"sony-a7m3", "Unknown value 8086", false},
        {"sony-a7m3", "Unknown value 8087", false},
        {"sony-a7m3", "Movie (A)", false},
        {"sony-a7m3", "Movie (P)", false},
        {"sony-a7m4", "P", true},
        {"sony-a7m4", "Intelligent Auto", true},
        {"sony-a7m4", "Unknown value 805d", true},
        {"sony-a7m4", "S&Q (P)", true},
        {"sony-a7m4", "Movie (Scene)", false},
        {"sony-a7m4", "Movie (M)", false},
        {"sony-a7m4", "Unknown value 8059", false},
        {"sony-a7m4", "Unknown value 805c", false},
        {"sony-a7s3", "M", true},
        {"sony-a7s3", "Intelligent Auto", false},
        {"sony-a7s3", "S&Q (P)", false},
        {"sony-zve10", "A", true},
        {"sony-zve10", "Movie (M)", false},
        {"sony-zve10", "", false},
        {"sony-fx3", "S", true},
        {"sony-fx3", "Unknown value 8090", false},
        {"sony-fx3a", "P", true},
        {"sony-fx3a", "Movie (M)", false},
        {"sony-fx30", "P", false},
        {"sony-fx30", "M", false},
        {"sony-fx30", "", false},
        {"sony-zve10m2", "M", true},
        {"sony-zve10m2", "Portrait", false},
        {"sony-zve10m2", "Intelligent Auto", false},
        {"sony-zve10m2", "m", false},
    };
    for (const Row& row : rows) {
        Body& body = Open(row.profile);
        ASSERT_EQ(body.Sim().SetChoices("whitebalance", {"Automatic", "Flash", "", "flash", "Daylight"}), 0);
        ASSERT_EQ(body.Sim().SetValue("whitebalance", "Flash"), 0);
        CameraParams p = Record(row.mode);
        EXPECT_EQ(body.camera->GetWhiteBalanceParam(p), 0) << row.profile << " " << row.mode;
        EXPECT_EQ(p.whiteBalance, "Flash") << "the current value is never hidden";
        Strings expected = row.flash ? Strings{"Automatic", "Flash", "flash", "Daylight"}
                                     : Strings{"Automatic", "flash", "Daylight"};
        EXPECT_EQ(p.supportedWhiteBalance, expected) << row.profile << " '" << row.mode << "'";
    }
}

TEST_F(SonyFamilyTest, WhiteBalanceReadFailuresPerBody) {
    struct Row {
        const char* profile;
        const char* lookupFailure;
    };
    const Row rows[] = {
        {"sony-a7m3", "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"},
        {"sony-a7m4", "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"},
        {"sony-a7s3", "2 Failed to gp_camera_get_single_config to get whitebalance widget"},
        {"sony-zve10", "2 Failed to gp_camera_get_single_config to get whitebalance widget"},
        {"sony-fx3", "2 Failed to gp_camera_get_single_config to get whitebalance widget"},
        {"sony-fx3a", "2 Failed to gp_camera_get_single_config to get whitebalance widget"},
        {"sony-fx30", "2 Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"},
        {"sony-zve10m2", "2 Failed to gp_camera_get_single_config to get whitebalance widget"},
    };
    for (const Row& row : rows) {
        Body& body = Open(row.profile);
        ASSERT_EQ(body.Sim().SetChoices("whitebalance", {"Automatic", "Daylight"}), 0);
        CameraParams p = Record("P");
        p.whiteBalance = "stale";

        ASSERT_EQ(body.Sim().SetValueFault("whitebalance", camsim::ValueFault::NoValue), 0);
        EXPECT_EQ(body.camera->GetWhiteBalanceParam(p), 0) << row.profile;
        EXPECT_EQ(p.whiteBalance, "");
        EXPECT_EQ(p.supportedWhiteBalance, (Strings{"Automatic", "Daylight"})) << row.profile;

        ASSERT_EQ(body.Sim().SetValueFault("whitebalance", camsim::ValueFault::Typeless), 0);
        EXPECT_EQ(body.camera->GetWhiteBalanceParam(p), GP_ERROR_BAD_PARAMETERS) << row.profile;
        ASSERT_EQ(body.Sim().SetValueFault("whitebalance", camsim::ValueFault::None), 0);

        ASSERT_EQ(body.Sim().FailLookup("whitebalance", GP_ERROR_IO), 0);
        Logged();
        p.supportedWhiteBalance = {"stale"};
        EXPECT_EQ(body.camera->GetWhiteBalanceParam(p), -1) << row.profile;
        EXPECT_TRUE(p.supportedWhiteBalance.empty());
        EXPECT_EQ(Logged(), Strings{row.lookupFailure}) << row.profile;
        ASSERT_EQ(body.Sim().FailLookup("whitebalance", 0), 0);
    }
}

// Both ZV-E10 bodies send the ISO text as given and report what the camera says.
TEST_F(SonyFamilyTest, ZveIsoSetSendsTheTextUnchecked) {
    for (const char* profile : {"sony-zve10", "sony-zve10m2"}) {
        Body& body = Open(profile);
        body.Sim().ClearReceived();
        Logged();
        EXPECT_EQ(body.camera->SetIsoParam("800"), 0) << profile;
        EXPECT_EQ(body.Sim().Value("iso").value_or(""), "800");
        EXPECT_EQ(body.camera->SetIsoParam("123"), -1) << profile << ": not offered, refused by the camera";
        EXPECT_EQ(body.Sim().Received(), (Strings{"iso=800", "iso=123"})) << profile;
        EXPECT_EQ(Logged(), Strings{"2 Failed to gp_camera_set_single_config"});

        ASSERT_EQ(body.Sim().FailLookup("iso", GP_ERROR_IO), 0);
        EXPECT_EQ(body.camera->SetIsoParam("400"), -1);
        EXPECT_EQ(Logged(),
                  Strings{"2 Failed to gp_camera_get_single_config to get iso widget, ret : 0XFFFFFFF9"});
        EXPECT_EQ(body.Sim().Received().size(), 2u);
    }
}

TEST_F(SonyFamilyTest, FxThreeShutterListKeepsBulbFirstAndTheFx3aDropsEntriesByProgram) {
    const Strings all = {"Bulb", "1/50", "0/0", "1/100"};
    const Strings noBulb = {"1/50", "0/0", "1/100"};
    const Strings noZero = {"Bulb", "1/50", "1/100"};
    struct Row {
        const char* profile;
        int recordType;  // the type the plug-in stored in the record
        const char* mode;
        Strings expected;
    };
    const Row rows[] = {
        {"sony-fx3", 5, "P", all},
        {"sony-fx3", 5, "S", all},
        {"sony-fx3", 5, "M", all},
        {"sony-fx3a", 6, "P", all},
        {"sony-fx3a", 6, "Movie (P)", all},
        {"sony-fx3a", 6, "S", noBulb},
        {"sony-fx3a", 6, "Unknown value 8090", noBulb},
        {"sony-fx3a", 6, "S&Q (S)", noBulb},
        {"sony-fx3a", 6, "S&Q (M)", noBulb},
        {"sony-fx3a", 6, "Movie (S)", noBulb},
        {"sony-fx3a", 6, "Movie (M)", noBulb},
        {"sony-fx3a", 6, "M", noZero},
        {"sony-fx3a", 0, "S", noBulb},  // before the record names the type
        {"sony-fx3a", 0, "M", noZero},
        {"sony-fx3", 6, "S", all},  // the object's type decides, not the record's
    };
    for (const Row& row : rows) {
        Body& body = Open(row.profile);
        ASSERT_EQ(body.Sim().SetChoices("shutterspeed", {"1/50", "Bulb", "", "0/0", "1/100"}), 0);
        ASSERT_EQ(body.Sim().SetValue("shutterspeed", "1/100"), 0);
        CameraParams p = Record(row.mode, row.recordType);
        EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.shutterSpeed, "1/100");
        EXPECT_EQ(p.supportedShutterSpeed, row.expected)
            << row.profile << " type " << row.recordType << " " << row.mode;
    }

    Body& fx3 = Open("sony-fx3");
    fx3.Sim().SetChoices("shutterspeed", {"1/50", "bulb", "Bulb"});
    CameraParams p = Record("M", 5);
    EXPECT_EQ(fx3.camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"Bulb", "1/50", "bulb"})) << "only the exact text moves";

    fx3.Sim().SetChoices("shutterspeed", {"1/100"});
    EXPECT_EQ(fx3.camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.shutterSpeed, "1/100");
    EXPECT_TRUE(p.supportedShutterSpeed.empty()) << "no fallback list";

    fx3.Sim().SetValueFault("shutterspeed", camsim::ValueFault::Typeless);
    EXPECT_EQ(fx3.camera->GetShutterSpeedParam(p), GP_ERROR_BAD_PARAMETERS);
    fx3.Sim().SetValueFault("shutterspeed", camsim::ValueFault::None);

    fx3.Sim().FailLookup("shutterspeed", GP_ERROR_IO);
    Logged();
    p.supportedShutterSpeed = {"stale"};
    EXPECT_EQ(fx3.camera->GetShutterSpeedParam(p), -1);
    EXPECT_TRUE(p.supportedShutterSpeed.empty());
    EXPECT_EQ(Logged(), Strings{"2 Failed to gp_camera_get_single_config to get shutterspeed widget"});
}

TEST_F(SonyFamilyTest, ZveTwoShutterListNeverOffersBulbOrZero) {
    Body& body = Open("sony-zve10m2");
    body.Sim().SetChoices("shutterspeed", {"BULB", "1/50", "0/0", "", "bulb", "1/100", "0/00"});
    body.Sim().SetValue("shutterspeed", "1/50");
    for (const char* mode : {"M", "P", "Movie (M)", ""}) {
        CameraParams p = Record(mode);
        EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.shutterSpeed, "1/50");
        EXPECT_EQ(p.supportedShutterSpeed, (Strings{"1/50", "1/100", "0/00"})) << mode;
    }

    body.Sim().SetChoices("shutterspeed", {"1/50"});
    CameraParams p = Record("M");
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.shutterSpeed, "1/50");
    EXPECT_TRUE(p.supportedShutterSpeed.empty()) << "no fallback list";

    body.Sim().SetChoices("shutterspeed", {"1/50", "1/100"});
    body.Sim().SetValueFault("shutterspeed", camsim::ValueFault::Typeless);
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), 0) << "an unreadable value is no failure here";
    EXPECT_EQ(p.shutterSpeed, "");
    body.Sim().SetValueFault("shutterspeed", camsim::ValueFault::None);

    p.shutterSpeed = "1/50";
    p.supportedShutterSpeed = {"1/50", "1/100"};
    body.Sim().FailLookup("shutterspeed", GP_ERROR_IO);
    Logged();
    EXPECT_EQ(body.camera->GetShutterSpeedParam(p), -1);
    EXPECT_EQ(p.shutterSpeed, "1/50") << "the previous read stays";
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"1/50", "1/100"}));
    EXPECT_EQ(
        Logged(),
        Strings{"2 Failed to gp_camera_get_single_config to get shutterspeed widget, ret : 0XFFFFFFF9"});
}

}  // namespace
