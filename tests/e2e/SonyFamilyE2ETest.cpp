// Every Sony body end to end: camera-host loads the plug-in, the simulated body is
// found and published, and a turn of the mode dial on the camera reaches the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "CamSim.h"
#include "JsonLines.h"
#include "Process.h"
#include "TempDir.h"

namespace {

const std::string kHost = CAMERA_HOST_PATH;

struct SonyBody {
    const char* model;
    int cameraType;
    const char* cameraName;
    const char* dialTo;  // the 500e value the mode dial is turned to
    const char* modeAfter;
    bool flashInP;    // "Flash" offered while in P
    bool flashAfter;  // ... and in the program dialled
    bool bulbAfter;   // "Bulb" offered in the program dialled
};

void PrintTo(const SonyBody& body, std::ostream* os) {
    *os << body.model;
}

bool Has(const nlohmann::json& list, const char* entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

class SonyFamilyE2E : public ::testing::TestWithParam<SonyBody> {
  protected:
    TempDir dir{"sony-e2e"};
};

TEST_P(SonyFamilyE2E, ConnectsPublishesItsModeAndFollowsTheModeDial) {
    const SonyBody& body = GetParam();
    Process host({kHost, "--simulate", body.model, "--state-dir", dir.Path(), "--json"});
    ASSERT_TRUE(host.Started());
    ASSERT_TRUE(host.WaitForOutput("\"connectState\":1", 15000)) << host.Out() << host.Err();

    camsim::Simulator camera(dir.Path());
    ASSERT_EQ(camera.ChangeOnCamera("500e", body.dialTo), 0) << camera.LastError();
    const std::string modeAfter = nlohmann::json(body.modeAfter).dump();
    EXPECT_TRUE(host.WaitForOutput("\"mode\":" + modeAfter, 10000)) << host.Out() << host.Err();
    host.CloseInput();
    ASSERT_EQ(host.Wait(15000), 0) << host.Err();

    std::vector<nlohmann::json> records = JsonLines(host.Out());
    ASSERT_GE(records.size(), 2u) << host.Out();
    const nlohmann::json& first = records.front();
    EXPECT_EQ(first["connectState"], 1);
    EXPECT_EQ(first["cameraType"], body.cameraType);
    EXPECT_EQ(first["cameraName"], body.cameraName);
    EXPECT_EQ(first["mode"], "P");
    EXPECT_TRUE(first["supportedMode"].empty());
    EXPECT_EQ(Has(first["supportedWhiteBalance"], "Flash"), body.flashInP) << first.dump();

    auto dialled = std::find_if(records.begin(), records.end(),
                                [&](const nlohmann::json& r) { return r["mode"] == body.modeAfter; });
    ASSERT_NE(dialled, records.end()) << host.Out();
    EXPECT_EQ((*dialled)["connectState"], 1);
    EXPECT_EQ((*dialled)["cameraType"], body.cameraType);
    EXPECT_EQ(Has((*dialled)["supportedWhiteBalance"], "Flash"), body.flashAfter) << dialled->dump();
    EXPECT_EQ(Has((*dialled)["supportedShutterSpeed"], "Bulb"), body.bulbAfter) << dialled->dump();
    EXPECT_EQ(camera.Value("500e").value_or(""), body.dialTo);
    EXPECT_TRUE(camera.Received().empty()) << "the plug-in only read";
}

// clang-format off
const SonyBody kSonyBodies[] = {
    // model                             type  name           dial to   mode after            flash P  after  bulb
    {"Sony Alpha-A7 III (PC Control)",   1, "SonyA7M3",    "491600", "Movie (P)",          true,  false, false},
    {"Sony Alpha-A7 IV (PC Control)",    2, "SonyA7M4",    "622681", "Unknown value 8059", true,  false, false},
    {"Sony DSC-A7S III (Control)",       3, "SonyA7S3",    "622681", "S&Q (P)",            true,  false, false},
    {"Sony ZV-E10 (Control)",            4, "SonyZVE10",   "1",      "M",                  true,  true,  true},
    {"Sony ILME-FX3 (PC Control)",       5, "SonyFX3",     "622736", "Unknown value 8090", true,  false, true},
    {"Sony ILME-FX3A (PC Control)",      6, "SonyFX3A",    "491603", "Movie (M)",          true,  false, false},
    {"Sony ILME-FX30 (PC Control)",      7, "SonyFX30",    "491601", "Movie (A)",          false, false, false},
    {"Sony ZV-E10M2 (Control)",          8, "SonyZVE10M2", "622739", "S&Q_V2 (P)",         true,  false, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(EverySonyModel, SonyFamilyE2E, ::testing::ValuesIn(kSonyBodies),
                         [](const ::testing::TestParamInfo<SonyBody>& p) {
                             return std::string(p.param.cameraName);
                         });

}  // namespace
