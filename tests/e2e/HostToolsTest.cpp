// camera-host and camera-monitor run as processes, as a user would run them.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CamSim.h"
#include "JsonLines.h"
#include "Process.h"
#include "TempDir.h"

namespace {

const std::string kHost = CAMERA_HOST_PATH;
const std::string kMonitor = CAMERA_MONITOR_PATH;
const char kSonyA7M3[] = "Sony Alpha-A7 III (PC Control)";

class HostToolsTest : public ::testing::Test {
protected:
    std::string WriteScript(const std::string& text) {
        std::string path = dir.File("script.txt");
        std::ofstream(path) << text;
        return path;
    }
    std::vector<std::string> HostArgs(const std::string& script) {
        return {kHost, "--simulate", kSonyA7M3, "--state-dir", dir.Path(), "--json", "--script", script};
    }
    TempDir dir{"host-e2e"};
};

TEST_F(HostToolsTest, ScriptShowsConnectionSetRequestAndUnplug) {
    camsim::Simulator probe(dir.Path());
    ASSERT_EQ(probe.Plug(kSonyA7M3), 0);
    std::string iso = probe.Value("iso").value_or("") == "800" ? "1600" : "800";

    Process host(HostArgs(WriteScript("wait 600\niso " + iso + "\nwait 1000\nunplug\nwait 600\nquit\n")));
    ASSERT_TRUE(host.Started());
    ASSERT_EQ(host.Wait(30000), 0) << host.Err();
    std::vector<nlohmann::json> records = JsonLines(host.Out());
    ASSERT_GE(records.size(), 3u) << host.Out();
    EXPECT_EQ(records.front()["event"], 9000);
    EXPECT_EQ(records.front()["connectState"], 1);
    EXPECT_EQ(records.front()["cameraType"], 1);
    EXPECT_EQ(records.front()["cameraName"], "SonyA7M3");
    EXPECT_NE(records.front()["iso"], iso);

    bool sawIso = false;
    size_t isoAt = 0;
    for (size_t i = 1; i < records.size(); ++i) {
        if (!sawIso && records[i]["iso"] == iso && records[i]["connectState"] == 1) sawIso = true, isoAt = i;
    }
    EXPECT_TRUE(sawIso) << host.Out();
    EXPECT_EQ(records.back()["connectState"], 0) << "the unplug is reported";
    EXPECT_GT(records.size() - 1, isoAt);
}

TEST_F(HostToolsTest, MonitorReceivesTheRecordsAsDatagrams) {
    std::string name = "e2e-monitor-" + std::to_string(::getpid());
    Process monitor({kMonitor, name, "--json", "--count", "2"});
    ASSERT_TRUE(monitor.Started());
    ASSERT_TRUE(monitor.WaitForOutput("listening on", 10000, true)) << "the name is bound before the host sends";

    std::vector<std::string> args = HostArgs(WriteScript("wait 400\nunplug\nwait 600\nquit\n"));
    args.push_back("--remote");
    args.push_back(name);
    Process host(args);
    ASSERT_EQ(host.Wait(30000), 0) << host.Err();
    ASSERT_EQ(monitor.Wait(10000), 0) << monitor.Err();
    std::vector<nlohmann::json> datagrams = JsonLines(monitor.Out());
    ASSERT_EQ(datagrams.size(), 2u) << monitor.Out();
    EXPECT_EQ(datagrams[0]["event"], 9000);
    EXPECT_EQ(datagrams[0]["length"], 232);
    EXPECT_EQ(datagrams[0]["bytes"], 240);
    EXPECT_EQ(datagrams[0]["connectState"], 1);
    EXPECT_EQ(datagrams[0]["cameraType"], 1);
    EXPECT_EQ(datagrams[1]["connectState"], 0);
}

TEST_F(HostToolsTest, BadInputIsReportedAndNothingMalformedIsSent) {
    std::string longText(150, '8');
    Process host(HostArgs(WriteScript("wait 500\nfrobnicate\niso\niso " + longText +
                                      "\nrecord 2\ntouch a b\nwait\nhelp me\nwait 300\nquit\n")));
    ASSERT_EQ(host.Wait(30000), 0) << host.Err();
    for (const char* expected : {"unknown command 'frobnicate'", "iso: missing value", "iso: value too long",
                                 "record: expected 0 or 1", "touch: expected two integers", "wait: expected",
                                 "help: takes no argument"}) {
        EXPECT_NE(host.Err().find(expected), std::string::npos) << expected << "\n" << host.Err();
    }
    camsim::Simulator sim(dir.Path());
    EXPECT_TRUE(sim.Received().empty()) << "no request reached the camera";
    for (const nlohmann::json& r : JsonLines(host.Out())) EXPECT_EQ(r["event"], 9000);
}

TEST_F(HostToolsTest, StandardInputAndSigtermEndTheHostCleanly) {
    Process host({kHost, "--simulate", kSonyA7M3, "--state-dir", dir.Path()});
    ASSERT_TRUE(host.Started());
    ASSERT_TRUE(host.WaitForOutput("connected (1)", 15000)) << host.Out() << host.Err();
    host.Write("help\n");
    ASSERT_TRUE(host.WaitForOutput("touch H V", 5000));
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Wait(10000), 0) << host.Err();
}

TEST_F(HostToolsTest, JsonOutputStaysJsonWhileThePluginPrintsTraceLines) {
    Process host({kHost, "--simulate", kSonyA7M3, "--state-dir", dir.Path(), "--json"});
    ASSERT_TRUE(host.Started());
    ASSERT_TRUE(host.WaitForOutput("\"connectState\":1", 15000)) << host.Out() << host.Err();
    // The worker prints one trace line to standard output for each of these events.
    camsim::Simulator sim(dir.Path());
    ASSERT_EQ(sim.QueueInt32Event(15, 1), 0);
    ASSERT_EQ(sim.QueueShutterEvent(1, 250), 0);
    ASSERT_EQ(sim.QueueModeEvent(2), 0);
    ASSERT_TRUE(host.WaitForOutput("当前mode", 10000, true)) << host.Err();
    host.CloseInput();
    ASSERT_EQ(host.Wait(15000), 0) << host.Err();
    std::vector<nlohmann::json> records = JsonLines(host.Out());
    ASSERT_FALSE(records.empty());
    for (const nlohmann::json& r : records) EXPECT_EQ(r["event"], 9000);
    EXPECT_NE(host.Err().find("当前FocusMode(对焦模式) 1 ="), std::string::npos) << host.Err();
    EXPECT_NE(host.Err().find("当前ShutterSpeed(快门) 1/250 ="), std::string::npos) << host.Err();
}

TEST_F(HostToolsTest, EndOfInputStopsTheHost) {
    Process host({kHost, "--simulate", "sony-a7m3", "--state-dir", dir.Path(), "--json"});
    ASSERT_TRUE(host.Started());
    host.Write("wait 300\n");
    host.CloseInput();
    EXPECT_EQ(host.Wait(15000), 0) << host.Err();
    std::vector<nlohmann::json> records = JsonLines(host.Out());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0]["connectState"], 1);
}

TEST_F(HostToolsTest, ArgumentsAreChecked) {
    Process help({kHost, "--help"});
    EXPECT_EQ(help.Wait(5000), 0);
    EXPECT_NE(help.Out().find("usage: camera-host"), std::string::npos);

    Process bad({kHost, "--bogus"});
    EXPECT_EQ(bad.Wait(5000), 2);
    EXPECT_NE(bad.Err().find("unknown argument '--bogus'"), std::string::npos);

    Process missing({kHost, "--simulate"});
    EXPECT_EQ(missing.Wait(5000), 2);

    Process unknownCamera({kHost, "--simulate", "Acme Cam 3000", "--state-dir", dir.Path()});
    EXPECT_EQ(unknownCamera.Wait(10000), 2);
    EXPECT_NE(unknownCamera.Err().find("cannot simulate 'Acme Cam 3000'"), std::string::npos) << unknownCamera.Err();

    Process noPlugin({kHost, "--plugin", dir.File("nope.so"), "--simulate", kSonyA7M3, "--state-dir", dir.Path()});
    EXPECT_EQ(noPlugin.Wait(10000), 2);
    EXPECT_NE(noPlugin.Err().find("cannot load the plug-in"), std::string::npos);

    Process monitorUsage({kMonitor});
    EXPECT_EQ(monitorUsage.Wait(5000), 2);
}

}  // namespace
