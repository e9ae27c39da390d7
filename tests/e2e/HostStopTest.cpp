// camera-host stopping, as a user stops it: what was typed before `quit` or the end of the
// input reaches the camera and the printed records, also after a flood of requests.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CamSim.h"
#include "JsonLines.h"
#include "Process.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kHost = CAMERA_HOST_PATH;

class HostStopTest : public ::testing::Test {
  protected:
    std::vector<std::string> HostArgs() {
        return {kHost, "--simulate", "sony-a7m3", "--state-dir", dir.Path(), "--json"};
    }
    TempDir dir{"host-stop-e2e"};
};

// printf 'wait 1500\niso 1600\nquit\n' | camera-host --simulate sony-a7m3, and the same
// ended by the end of the input instead of quit.
TEST_F(HostStopTest, ASetTypedRightBeforeTheEndReachesTheCameraAndTheLastRecord) {
    for (const char* end : {"quit\n", ""}) {
        SCOPED_TRACE(*end != '\0' ? "quit" : "end of input");
        Process host(HostArgs());
        ASSERT_TRUE(host.Started());
        auto start = Clock::now();
        host.Write(std::string("wait 1500\niso 1600\n") + end);
        host.CloseInput();
        ASSERT_EQ(host.Wait(30000), 0) << host.Err();
        EXPECT_LT(Clock::now() - start, milliseconds(1500 + 5000)) << "exit long after the input ended";
        camsim::Simulator sim(dir.Path());
        EXPECT_EQ(sim.Value("iso"), "1600");
        EXPECT_EQ(sim.Received(), std::vector<std::string>{"iso=1600"});
        std::vector<nlohmann::json> records = JsonLines(host.Out());
        ASSERT_GE(records.size(), 2u) << host.Out();
        EXPECT_EQ(records.front()["iso"], "AUTO");
        EXPECT_EQ(records.back()["iso"], "1600");
        EXPECT_EQ(records.back()["connectState"], 1);
    }
}

// 10,000 requests of three settings, then quit.
TEST_F(HostStopTest, AFloodThenQuitEndsOnTheLastValueOfEverySetting) {
    const std::vector<std::string> isos = {"100", "200", "400", "800", "1600", "3200", "6400", "250"};
    const std::vector<std::string> irises = {"f/2.8", "f/5.6", "f/8", "f/11"};
    const std::vector<std::string> wbs = {"Daylight", "Shade", "Cloudy"};
    std::string input = "wait 1000\n";
    std::string lastIso, lastIris, lastWb;
    for (size_t i = 0; i < 10000; ++i) {
        if (i % 11 == 4) {
            lastWb = wbs[i % wbs.size()];
            input += "wb " + lastWb + "\n";
        } else if (i % 5 == 2) {
            lastIris = irises[i % irises.size()];
            input += "iris " + lastIris + "\n";
        } else {
            lastIso = isos[i % isos.size()];
            input += "iso " + lastIso + "\n";
        }
    }
    Process host(HostArgs());
    ASSERT_TRUE(host.Started());
    host.Write(input);  // returns once the host has read all but a pipe's worth
    host.Write("quit\n");
    auto quitAt = Clock::now();
    host.CloseInput();
    ASSERT_EQ(host.Wait(60000), 0) << host.Err();
    EXPECT_LT(Clock::now() - quitAt, milliseconds(5000)) << "exit long after quit";
    camsim::Simulator sim(dir.Path());
    EXPECT_EQ(sim.Value("iso"), lastIso);
    EXPECT_EQ(sim.Value("f-number"), lastIris);
    EXPECT_EQ(sim.Value("whitebalance"), lastWb);
    std::vector<nlohmann::json> records = JsonLines(host.Out());
    ASSERT_GE(records.size(), 2u) << host.Out();
    EXPECT_EQ(records.back()["iso"], lastIso);
    EXPECT_EQ(records.back()["iris"], lastIris);
    EXPECT_EQ(records.back()["whiteBalance"], lastWb);
}

}  // namespace
