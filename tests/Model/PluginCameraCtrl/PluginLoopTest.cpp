// The worker loop's promises, each through the loaded plug-in and the simulated camera: the
// full re-read, losses and their codes, the absent-pass counter, event decoding, and what
// happens to the connection and to requests across a disconnection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

class PluginLoopTest : public PluginHostTest {
  protected:
    // Records with connection state 0 published after the first `after`.
    std::vector<Published> NoCameraRecordsAfter(size_t after) {
        std::vector<Published> out;
        std::vector<Published> got = Records();
        for (size_t i = after; i < got.size(); ++i) {
            if (got[i].params.connectState == 0)
                out.push_back(got[i]);
        }
        return out;
    }
    static bool SimulatorDriverMapped() {
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);) {
            if (line.find("/camlibs/camsim.so") != std::string::npos)
                return true;
        }
        return false;
    }
};

// The A7 III filters its ISO list by the mode: a mode dial turned on the camera (one property
// event, answered by the full re-read) must show the new mode's list in the same record.
TEST_F(PluginLoopTest, AModeChangedOnTheCameraReFiltersTheListsOfTheNextRecord) {
    const Strings stillIso = {"AUTO",   "64",
                              "80",     "100",
                              "125",    "160",
                              "200",    "250",
                              "320",    "400",
                              "500",    "640",
                              "800",    "1000",
                              "1250",   "1600",
                              "2000",   "2500",
                              "3200",   "4000",
                              "5000",   "6400",
                              "8000",   "10000",
                              "12800",  "16000",
                              "20000",  "25600",
                              "32000",  "40000",
                              "51200",  "64000",
                              "80000",  "102400",
                              "128000", "160000",
                              "204800", "Multi Frame Noise Reduction AUTO"};
    const Strings movieIso = {"AUTO",  "125",   "160",   "200",   "250",   "320",   "400",    "500",
                              "640",   "800",   "1000",  "1250",  "1600",  "2000",  "2500",   "3200",
                              "4000",  "5000",  "6400",  "8000",  "10000", "12800", "16000",  "20000",
                              "25600", "32000", "40000", "51200", "64000", "80000", "102400", "128000"};
    Start();
    const CameraParams connected = PlugAndConnect();
    ASSERT_EQ(connected.mode, "P");
    EXPECT_EQ(connected.supportedIso, stillIso);
    const struct {
        const char* value500e;
        const char* mode;
        const Strings& iso;
    } turns[] = {
        {"491600", "Movie (P)", movieIso}, {"131075", "A", stillIso}, {"491603", "Movie (M)", movieIso}};
    for (const auto& turn : turns) {
        size_t before = RecordCount();
        ASSERT_EQ(sim.ChangeOnCamera("500e", turn.value500e), 0) << sim.LastError();
        std::vector<Published> got = WaitRecords(before + 1);
        ASSERT_EQ(got.size(), before + 1) << turn.mode;
        EXPECT_EQ(got.back().params.mode, turn.mode);
        EXPECT_EQ(got.back().params.supportedIso, turn.iso) << turn.mode;
    }
}

// The three results of the event wait that mean the camera is gone, and two that do not.
TEST_F(PluginLoopTest, EventWaitResultsThatMeanALossAreHandledAndOthersIgnored) {
    Start();
    PlugAndConnect();
    const struct {
        int code;
        bool loss;
    } cases[] = {{GP_ERROR_IO_USB_FIND, true},
                 {GP_ERROR_IO, true},
                 {GP_ERROR_MODEL_NOT_FOUND, true},
                 {GP_ERROR_CAMERA_BUSY, false},
                 {GP_ERROR, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        size_t before = RecordCount();
        int losses = log.Count(5, "====== 连接断开 =======");
        ASSERT_EQ(sim.FailEventWait(c.code, 1), 0);
        if (c.loss) {
            std::vector<Published> got = WaitRecords(before + 2);
            ASSERT_EQ(got.size(), before + 2);
            EXPECT_EQ(got[before].params.connectState, 0);
            EXPECT_EQ(got[before + 1].params.connectState, 1) << "still plugged: connected again";
            EXPECT_EQ(log.Count(5, "====== 连接断开 ======="), losses + 1);
        } else {
            Settle(400);
            EXPECT_EQ(RecordCount(), before);
            EXPECT_EQ(log.Count(5, "====== 连接断开 ======="), losses);
        }
        Settle(300);
        EXPECT_EQ(RecordCount(), before + (c.loss ? 2 : 0));
    }
}

// A full re-read that fails (a widget the camera does not serve, or one whose value the Sony
// class cannot read) publishes nothing, is tried again on later passes, and publishes once it
// succeeds.
TEST_F(PluginLoopTest, AFailedFullReReadIsRetriedOnLaterPassesUntilItSucceeds) {
    const struct {
        const char* name;
        std::function<int(camsim::Simulator&)> fault;
    } cases[] = {
        {"iso not served", [](camsim::Simulator& s) { return s.FailLookup("iso", GP_ERROR); }},
        {"iso unreadable",
         [](camsim::Simulator& s) { return s.SetValueFault("iso", camsim::ValueFault::Typeless); }},
        {"focus unreadable",
         [](camsim::Simulator& s) { return s.SetValueFault("focusmode", camsim::ValueFault::Typeless); }},
        {"white balance unreadable",
         [](camsim::Simulator& s) { return s.SetValueFault("whitebalance", camsim::ValueFault::Typeless); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
        ASSERT_EQ(c.fault(sim), 0) << sim.LastError();
        log.Clear();
        size_t before = RecordCount();
        Start();
        Settle(600);
        EXPECT_EQ(RecordCount(), before) << "nothing published while the re-read fails";
        EXPECT_GE(log.Count(2, "Failed to Get"), 2 * 3) << "tried at the connection and on later passes";
        sim.ClearFaults();
        std::vector<Published> got = WaitRecords(before + 1);
        ASSERT_EQ(got.size(), before + 1);
        EXPECT_EQ(got.back().params.connectState, 1);
        EXPECT_EQ(got.back().params.iso, sim.Value("iso").value_or("?"));
        EXPECT_EQ(got.back().params.focusMode, "AF-S");
        EXPECT_EQ(got.back().params.whiteBalance, "Automatic");
        Settle(300);
        EXPECT_EQ(RecordCount(), before + 1) << "published once";
        ASSERT_EQ(plugin->UnInit(), 0);
    }
}

// While no camera is there the report repeats on every 21st pass; a connection starts the
// count again, so the first pass without the camera after it reports at once.
TEST_F(PluginLoopTest, TheNoCameraReportRepeatsEvery21stPassCountedFromTheLastConnection) {
    // Passes detect over the bus once each unless the detection watches /dev/bus/usb.
    const bool scansPerPass = std::getenv("CAMSIM_USB_DEVFS") == nullptr;
    camsim::Simulator scans{dir.Path()};  // read on the worker thread
    std::mutex scansMutex;
    std::vector<int64_t> scansAtNoCamera;
    int owner = 0;
    bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT, {[&](void* data, int) {
                                                    if (static_cast<CameraParams*>(data)->connectState != 0)
                                                        return;
                                                    std::lock_guard<std::mutex> lock(scansMutex);
                                                    scansAtNoCamera.push_back(scans.BusScans());
                                                },
                                                &owner});
    // Stops the worker before the state its subscriber uses goes, on every way out.
    struct Cleanup {
        std::function<void()> run;
        ~Cleanup() { run(); }
    } cleanup{[&] {
        plugin->UnInit();
        bus->UnSubscribe(CAMERA_PARAMS_NOTIFY_EVENT, &owner);
    }};
    Start();
    PlugAndConnect();
    ASSERT_EQ(sim.Unplug(), 0);
    Settle(1000);  // about ten passes without the camera
    size_t beforeReplug = RecordCount();
    ASSERT_EQ(sim.Replug(), 0);
    ASSERT_TRUE(Eventually([&] { return RecordCount() > beforeReplug && Last().connectState == 1; }));
    Settle(200);

    size_t before = RecordCount();
    size_t scansBefore = 0;
    {
        std::lock_guard<std::mutex> lock(scansMutex);
        scansBefore = scansAtNoCamera.size();
    }
    auto unpluggedAt = Clock::now();
    ASSERT_EQ(sim.Unplug(), 0);
    // The event wait may see the loss first and report it too, a pass before the detection.
    std::vector<Published> repeats;
    auto twoRepeats = [&] {
        repeats.clear();
        for (const Published& p : NoCameraRecordsAfter(before)) {
            if (p.at - unpluggedAt > milliseconds(600))
                repeats.push_back(p);
        }
        return repeats.size() >= 2;
    };
    ASSERT_TRUE(Eventually(twoRepeats, 15000)) << "repeated twice";
    std::vector<Published> got = NoCameraRecordsAfter(before);
    EXPECT_LT(got.front().at - unpluggedAt, milliseconds(600)) << "reported at once";
    EXPECT_GT(repeats[0].at - unpluggedAt, milliseconds(1600)) << "21 passes of about 100 ms";
    EXPECT_LT(repeats[0].at - unpluggedAt, milliseconds(6000));
    EXPECT_GT(repeats[1].at - repeats[0].at, milliseconds(1600));
    EXPECT_LT(repeats[1].at - repeats[0].at, milliseconds(6000));
    if (scansPerPass) {
        std::lock_guard<std::mutex> lock(scansMutex);
        ASSERT_GE(scansAtNoCamera.size(), scansBefore + 2);
        size_t n = scansAtNoCamera.size();
        EXPECT_EQ(scansAtNoCamera[n - 1] - scansAtNoCamera[n - 2], 21) << "passes between two reports";
    }
}

TEST_F(PluginLoopTest, AnIsoEventAbove2To31IsReadAsUnsigned) {
    Start();
    PlugAndConnect();
    for (uint32_t value : {2147483648u, 3000000000u, 4294967295u, 6400u}) {
        size_t before = RecordCount();
        std::vector<uint8_t> block(4);
        std::memcpy(block.data(), &value, 4);
        ASSERT_EQ(sim.QueueEvent(13, block), 0);
        std::vector<Published> got = WaitRecords(before + 1);
        ASSERT_EQ(got.size(), before + 1) << value;
        EXPECT_EQ(got.back().params.iso, std::to_string(value));
    }
}

// A request made while the camera is away is dropped, not kept for when it comes back.
TEST_F(PluginLoopTest, ASetMadeWhileDisconnectedIsNotAppliedWhenTheCameraComesBack) {
    Start();
    const CameraParams connected = PlugAndConnect();
    ASSERT_EQ(connected.iso, "AUTO");
    size_t before = RecordCount();
    ASSERT_EQ(sim.Unplug(), 0);
    ASSERT_TRUE(Eventually([&] { return RecordCount() > before && Last().connectState == 0; }));
    sim.ClearReceived();
    Request(CAMERA_SET_ISO_EVENT, "1600");
    Request(CAMERA_SET_IRIS_EVENT, "f/8");
    Settle(400);
    before = RecordCount();
    ASSERT_EQ(sim.Replug(), 0);
    ASSERT_TRUE(Eventually([&] { return RecordCount() > before && Last().connectState == 1; }));
    Settle(500);
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(sim.Value("iso"), "AUTO");
    EXPECT_EQ(Last().iso, "AUTO");
    EXPECT_EQ(Last().iris, "f/4");
}

// UnInit leaves the connection open; unloading the plug-in closes it, which releases the
// camera driver that libgphoto2 loaded for it.
TEST_F(PluginLoopTest, UnloadingThePluginClosesTheConnectionThatUnInitLeftOpen) {
    const char* launcher = std::getenv("CAMCTRL_TEST_LAUNCHER");
    if (launcher != nullptr && *launcher != '\0')
        GTEST_SKIP() << "under the emulator the driver stays listed in /proc/self/maps after "
                        "libgphoto2 closed it: the close cannot be seen";
    ASSERT_FALSE(SimulatorDriverMapped());
    Start();
    PlugAndConnect();
    ASSERT_EQ(plugin->UnInit(), 0);
    EXPECT_TRUE(SimulatorDriverMapped()) << "the connection stays open after UnInit";
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    EXPECT_FALSE(SimulatorDriverMapped()) << "the camera was closed and freed";
}

}  // namespace
