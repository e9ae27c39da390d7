// What the plug-in's poll passes cost the USB bus while nothing happens. With a private
// /dev/bus/usb (the "usb-devfs/" run) the simulated camera's node comes and goes as a real
// one's, and the passes leave the bus alone; elsewhere the simulated port has no node where
// the plug-in looks, and every pass scans the bus as before.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "PluginManager.h"
#include "SimTestDir.h"
#include "VirtualEventBus.h"

namespace {

using std::chrono::milliseconds;

class PluginIdleScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                       {[this](void* data, int length) {
                            if (length != 232)
                                return;
                            std::lock_guard<std::mutex> lock(mutex);
                            states.push_back(static_cast<CameraParams*>(data)->connectState);
                            cv.notify_all();
                        },
                        this});
        plugin = manager.LoadPlugin(PLUGIN_LIBRARY);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr)
            manager.UnLoadPlugin(plugin);
    }

    // Waits for a record with this connection state after the first `after` records.
    bool WaitState(int state, size_t after, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, milliseconds(timeoutMs), [&] {
            for (size_t i = after; i < states.size(); ++i) {
                if (states[i] == state)
                    return true;
            }
            return false;
        });
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return states.size();
    }

    // Bus scans during one second of passes, after the plug-in settled.
    int64_t ScansPerSecond() {
        std::this_thread::sleep_for(milliseconds(300));
        int64_t before = sim.BusScans();
        std::this_thread::sleep_for(milliseconds(1000));
        return sim.BusScans() - before;
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    PluginManager manager;
    PluginInterface* plugin = nullptr;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int> states;
};

TEST_F(PluginIdleScanTest, PassesScanTheBusOnlyWhenNoSignalCanTellAChange) {
    // The wrapper sets CAMSIM_USB_DEVFS only where it made the private /dev/bus/usb.
    const bool watched = std::getenv("CAMSIM_USB_DEVFS") != nullptr;
    ASSERT_EQ(plugin->Init(bus, nullptr), 0);
    ASSERT_TRUE(WaitState(0, 0)) << "the first pass reports no camera";
    struct Phase {
        const char* what;
        std::function<int()> act;
        int state;  // the record the change ends with; -1: nothing changes
    };
    const Phase phases[] = {
        {"no camera", [] { return 0; }, -1},
        {"connected", [&] { return sim.Plug("sony-a7m3"); }, 1},
        {"unplugged", [&] { return sim.Unplug(); }, 0},
        {"connected again", [&] { return sim.Replug(); }, 1},
    };
    for (const Phase& phase : phases) {
        size_t before = Count();
        ASSERT_EQ(phase.act(), 0) << phase.what << ": " << sim.LastError();
        if (phase.state >= 0) {
            ASSERT_TRUE(WaitState(phase.state, before)) << phase.what;
        }
        int64_t scans = ScansPerSecond();
        if (watched) {
            EXPECT_EQ(scans, 0) << phase.what;
        } else {
            // About ten passes a second, each detecting over the bus.
            EXPECT_GE(scans, 4) << phase.what;
        }
    }
}

}  // namespace
