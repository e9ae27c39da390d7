// camera-host with each simulated Canon body, as a user drives it: connect, the
// published type and lists, a touch, and a recording started and stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "CamSim.h"
#include "HostRecords.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

struct CanonRun {
    const char* model;
    int type;
    const char* name;
    Strings focusList;        // stills, program "Manual", focus "One Shot"
    const char* shutterHead;  // first offered shutter speed
    const char* movieMode;    // program "Manual" with the movie switch on
    const char* stillsTouch;  // what "touch 320 540" writes in stills and in movie mode
    const char* movieTouch;
    bool dispMode;  // in movie mode
};

const Strings kReplacedFive = {"One Shot", "AI Servo", "One Shot", "AI Servo", "One Shot",
                               "AI Servo", "One Shot", "AI Servo", "One Shot", "AI Servo"};

const CanonRun kRuns[] = {
    {"Canon EOS R6",
     9,
     "CanonEosR6",
     {"One Shot", "AI Servo", "MF"},
     "30",
     "Movie (M)",
     "(240, 106)",
     "(240, 106)",
     false},
    {"Canon EOS R6m2",
     10,
     "CanonEosR6M2",
     {"One Shot", "AI Focus", "AI Servo", "MF"},
     "30",
     "Manual",
     "(66.000000, 200.000000) 0",
     "(100.000000, 200.000000) 1",
     true},
    {"Canon EOS RP", 11, "CanonEosRP", kReplacedFive, "Auto", "Movie (M)", "(240, 106)", "(240, 106)", false},
};

void PrintTo(const CanonRun& run, std::ostream* os) {
    *os << run.model;
}

class CanonE2E : public ::testing::TestWithParam<CanonRun> {
  protected:
    bool WaitForCamera(const std::string& widget, const std::string& value) {
        return Eventually([&] { return sim.Value(widget).value_or("") == value; });
    }

    TempDir dir{"canon-e2e"};
    camsim::Simulator sim{dir.Path()};
};

TEST_P(CanonE2E, ConnectsListsTouchesAndRecordsInMovieMode) {
    const CanonRun& run = GetParam();
    Process host({CAMERA_HOST_PATH, "--simulate", run.model, "--state-dir", dir.Path(), "--json"});
    ASSERT_TRUE(host.Started());
    int at = WaitForRecord(host, 0, [](const json& r) { return r["connectState"] == 1; });
    ASSERT_GE(at, 0) << host.Err();
    json first = Records(host)[static_cast<size_t>(at)];
    EXPECT_EQ(first["cameraType"], run.type);
    EXPECT_EQ(first["cameraName"], run.name);
    EXPECT_EQ(first["mode"], "Manual");
    EXPECT_EQ(first["recordEnable"], false);
    EXPECT_EQ(first["iris"], "f/4");
    EXPECT_EQ(first["supportedIris"][0], "Auto");
    EXPECT_EQ(first["supportedShutterSpeed"][0], run.shutterHead);
    EXPECT_EQ(first["supportedWhiteBalance"][1], "AWB White");
    EXPECT_EQ(first["focusMode"], "One Shot");
    EXPECT_EQ(first["supportedFocusMode"], run.focusList);

    host.Write("touch 320 540\n");
    EXPECT_TRUE(WaitForCamera("kd_touch_focus", run.stillsTouch)) << sim.Value("kd_touch_focus").value_or("");

    // In stills mode the camera refuses to record.
    host.Write("record 1\n");
    EXPECT_TRUE(Eventually(
        [&] { return !sim.Received().empty() && sim.Received().back() == "movierecordtarget=Card"; }));
    EXPECT_EQ(sim.Value("capturetarget"), "Memory card");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Records(host).back()["recordEnable"], false);
    EXPECT_EQ(sim.Value("movierecordtarget"), "None");

    // The user turns the movie switch.
    ASSERT_EQ(sim.ChangeOnCamera("eosmovieswitch", "1"), 0);
    if (std::string(run.movieMode) != "Manual") {
        EXPECT_GE(WaitForRecord(host, 0, [&](const json& r) { return r["mode"] == run.movieMode; }), 0);
    }
    host.Write("touch 320 540\n");
    EXPECT_TRUE(WaitForCamera("kd_touch_focus", run.movieTouch)) << sim.Value("kd_touch_focus").value_or("");

    size_t seen = Records(host).size();
    host.Write("record 1\n");
    at = WaitForRecord(host, seen, [](const json& r) { return r["recordEnable"] == true; });
    ASSERT_GE(at, 0) << host.Out();
    json recording = Records(host)[static_cast<size_t>(at)];
    EXPECT_EQ(recording["mode"], run.movieMode);
    EXPECT_EQ(recording["dispMode"], run.dispMode);
    EXPECT_EQ(sim.Value("movierecordtarget"), "Card");

    seen = Records(host).size();
    host.Write("record 0\n");
    EXPECT_GE(WaitForRecord(host, seen, [](const json& r) { return r["recordEnable"] == false; }), 0)
        << host.Out();
    EXPECT_EQ(sim.Value("movierecordtarget"), "None");
    host.CloseInput();
    EXPECT_EQ(host.Wait(15000), 0) << host.Err();

    Strings records;
    for (const std::string& r : sim.Received()) {
        if (r.rfind("movierecordtarget=", 0) == 0)
            records.push_back(r);
    }
    EXPECT_EQ(records,
              (Strings{"movierecordtarget=Card", "movierecordtarget=Card", "movierecordtarget=None"}));
}

INSTANTIATE_TEST_SUITE_P(Bodies, CanonE2E, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<CanonRun>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
