// The plug-in as its host sees it: the real library loaded through PluginManager, a real
// event bus, the simulated camera behind libgphoto2. Shared by the plug-in's host tests.
#pragma once

#include <dirent.h>
#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "LogCapture.h"
#include "PluginManager.h"
#include "RemoteListener.h"
#include "SimTestDir.h"
#include "VirtualEventBus.h"

namespace plugin_host {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Strings = std::vector<std::string>;

const char kSonyA7M3[] = "Sony Alpha-A7 III (PC Control)";

struct Published {
    CameraParams params;
    Clock::time_point at;
    std::thread::id thread;
};

// Names the fields in which two records differ, for failure messages.
inline std::string Differences(const CameraParams& a, const CameraParams& b) {
    std::string out;
    auto note = [&](bool same, const char* name) {
        if (!same)
            out += std::string(out.empty() ? "" : ", ") + name;
    };
    note(a.cameraType == b.cameraType, "cameraType");
    note(a.recordEnable == b.recordEnable, "recordEnable");
    note(a.connectState == b.connectState, "connectState");
    note(a.focusMode == b.focusMode && a.supportedFocusMode == b.supportedFocusMode, "focusMode");
    note(a.iso == b.iso && a.supportedIso == b.supportedIso, "iso");
    note(a.iris == b.iris && a.supportedIris == b.supportedIris, "iris");
    note(a.shutterSpeed == b.shutterSpeed && a.supportedShutterSpeed == b.supportedShutterSpeed,
         "shutterSpeed");
    note(a.mode == b.mode && a.supportedMode == b.supportedMode, "mode");
    note(a.whiteBalance == b.whiteBalance && a.supportedWhiteBalance == b.supportedWhiteBalance,
         "whiteBalance");
    return out.empty() ? "none" : out;
}

class PluginHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus->m_udpSocket = zr_local_udp_open(nullptr);
        bus->m_remoteNames.insert(remote.Name());
        bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                       {[this](void* data, int length) {
                            EXPECT_EQ(length, 232);
                            std::lock_guard<std::mutex> lock(mutex);
                            records.push_back({*static_cast<CameraParams*>(data), Clock::now(),
                                               std::this_thread::get_id()});
                            cv.notify_all();
                        },
                        this});
        plugin = manager.LoadPlugin(PLUGIN_LIBRARY);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr)
            manager.UnLoadPlugin(plugin);
        ::close(bus->m_udpSocket);
    }

    void Start() { ASSERT_EQ(plugin->Init(bus, nullptr), 0); }

    // Waits until at least n records arrived; returns them all.
    std::vector<Published> WaitRecords(size_t n, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait_for(lock, milliseconds(timeoutMs), [&] { return records.size() >= n; });
        return records;
    }
    std::vector<Published> Records() {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }
    size_t RecordCount() { return Records().size(); }
    CameraParams Last() { return Records().back().params; }

    // Plugs the camera and waits for its first connected record (a report of no camera made
    // by a pass just before may come first).
    CameraParams PlugAndConnect(const std::string& model = kSonyA7M3) {
        size_t before = RecordCount();
        EXPECT_EQ(sim.Plug(model), 0) << sim.LastError();
        std::unique_lock<std::mutex> lock(mutex);
        size_t at = 0;
        auto connected = [&] {
            for (at = before; at < records.size(); ++at) {
                if (records[at].params.connectState == 1)
                    return true;
            }
            return false;
        };
        bool ok = cv.wait_for(lock, milliseconds(5000), connected);
        EXPECT_TRUE(ok) << "no connected record after plugging " << model;
        return ok ? records[at].params : CameraParams();
    }

    // Publishes a set request as the host does: a 100-byte text buffer.
    void Request(EventType type, const std::string& text, int length = 100) {
        std::vector<char> payload(static_cast<size_t>(std::max(length, 100)), '\0');
        std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size()));
        bus->Publish(type, payload.data(), length);
    }

    static bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000, int everyMs = 10) {
        auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            if (condition())
                return true;
            std::this_thread::sleep_for(milliseconds(everyMs));
        }
        return condition();
    }

    bool Received(const std::string& entry) {
        Strings r = sim.Received();
        return std::find(r.begin(), r.end(), entry) != r.end();
    }

    // Lets the worker run a few poll passes.
    static void Settle(int ms = 400) { std::this_thread::sleep_for(milliseconds(ms)); }

    int SubscriptionsOfPlugin() const {
        int n = 0;
        for (const auto& entry : bus->m_subscribers)
            n += entry.second.owner == plugin ? 1 : 0;
        return n;
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    RemoteListener remote{"plugin-test"};
    LogCapture log;
    PluginManager manager;
    PluginInterface* plugin = nullptr;

    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Published> records;
};

}  // namespace plugin_host
