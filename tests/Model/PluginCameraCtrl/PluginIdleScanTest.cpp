// What the plug-in's passes cost the USB bus, and when they report the camera gone and back. Run
// twice: with a private /dev/bus/usb (the "usb-devfs/" cases) the simulated camera's node comes
// and goes as a real one's and the detection watches it; elsewhere every pass scans the bus.
#include <cstdlib>

#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

class PluginIdleScanTest : public PluginHostTest {
  protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                       {[this](void* data, int) {
                            std::lock_guard<std::mutex> lock(scansMutex);
                            if (static_cast<CameraParams*>(data)->connectState == 0)
                                scansAtNoCamera.push_back(scans.BusScans());
                        },
                        &scans});
    }
    // Each pass detects over the bus unless the watch tells: watched, the bus stays quiet for
    // several passes; unwatched, passes keep scanning (however slow a busy machine makes them).
    void ExpectIdlePasses(const char* what) {
        Settle(300);
        int64_t before = sim.BusScans();
        if (watched) {
            Settle(800);
        } else {
            Eventually([&] { return sim.BusScans() - before >= 4; }, 8000);
        }
        int64_t made = sim.BusScans() - before;
        EXPECT_TRUE(watched ? made == 0 : made >= 4) << what << ": " << made << " scans";
    }
    // Plugs (or replugs) the camera: the watch needs one detection to find it, and opening the
    // camera it found scans no more.
    void Connect(const std::function<int()>& plug) {
        size_t before = RecordCount();
        int64_t scansBefore = sim.BusScans();
        ASSERT_EQ(plug(), 0) << sim.LastError();
        ASSERT_GE(WaitState(before, 1), 0);
        EXPECT_TRUE(!watched || sim.BusScans() - scansBefore == 1)
            << sim.BusScans() - scansBefore << " scans";
    }
    int64_t ScansBetweenLastReports() {
        std::lock_guard<std::mutex> lock(scansMutex);
        size_t n = scansAtNoCamera.size();
        return n < 2 ? -1 : scansAtNoCamera[n - 1] - scansAtNoCamera[n - 2];
    }

    // The wrapper sets CAMSIM_USB_DEVFS only where it made the private /dev/bus/usb.
    const bool watched = std::getenv("CAMSIM_USB_DEVFS") != nullptr;
    camsim::Simulator scans{dir.Path()};  // read on the worker thread
    std::mutex scansMutex;
    std::vector<int64_t> scansAtNoCamera;
};

// The loss is reported at once and again on every 21st pass without the camera, counted from the
// last connection; the camera's return is reported too. Requests made meanwhile are dropped, not
// kept for when the camera comes back.
TEST_F(PluginIdleScanTest, PassesScanOnlyWithoutASignalAndReportAnUnplugAtOnceThenEvery21st) {
    ASSERT_EQ(sim.Plug("sony-a7m3"), 0);
    Start();  // connects during Init: no pass without the camera yet
    ExpectIdlePasses("connected");
    ASSERT_EQ(Last().iso, "AUTO");
    ASSERT_EQ(sim.Unplug(), 0);
    ExpectIdlePasses("unplugged");  // about ten passes without the camera, then none for a while
    Connect([&] { return sim.Replug(); });
    ExpectIdlePasses("connected again");

    size_t before = RecordCount();
    const auto unpluggedAt = Clock::now();
    ASSERT_EQ(sim.Unplug(), 0);
    ASSERT_GE(WaitState(before, 0), 0);
    EXPECT_LT(Records()[before].at - unpluggedAt, milliseconds(600)) << "reported at once";
    sim.ClearReceived();
    Request(CAMERA_SET_ISO_EVENT, "1600");
    Request(CAMERA_SET_IRIS_EVENT, "f/8");
    // The event wait may see the loss first and report it too, a pass before the detection.
    std::vector<Clock::time_point> repeats;
    ASSERT_TRUE(Eventually(
        [&] {
            repeats.clear();
            for (const Published& p : Records())
                if (p.params.connectState == 0 && p.at - unpluggedAt > milliseconds(600))
                    repeats.push_back(p.at);
            return repeats.size() >= 2;
        },
        15000))
        << "repeated twice";
    const auto first = repeats[0] - unpluggedAt, second = repeats[1] - repeats[0];
    EXPECT_TRUE(first > milliseconds(1600) && second > milliseconds(1600) && second < milliseconds(6000))
        << "21 passes of about 100 ms";
    EXPECT_GT(first * 4, second * 3) << "counted from the last connection, the first as long as the next";
    EXPECT_TRUE(watched || ScansBetweenLastReports() == 21)
        << ScansBetweenLastReports() << " passes between reports";
    Connect([&] { return sim.Replug(); });
    Settle(300);
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(sim.Value("iso").value_or("") + " " + Last().iso + " " + Last().iris, "AUTO AUTO f/4");
}

}  // namespace
