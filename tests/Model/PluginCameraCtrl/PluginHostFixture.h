// The plug-in as its host sees it: the real library loaded through PluginManager, a real
// event bus, the simulated camera behind libgphoto2. Shared by the plug-in's host tests.
#pragma once

#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
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

// The fields the host reads, without the lists: compared as one text, a failure shows them all.
inline std::string Summary(const CameraParams& p) {
    return std::to_string(p.cameraType) + " state " + std::to_string(p.connectState) + " rec " +
           std::to_string(p.recordEnable) + " | " + p.mode + " | " + p.focusMode + " | " + p.iso + " | " +
           p.iris + " | " + p.shutterSpeed + " | " + p.whiteBalance;
}

class PluginHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                       {[this](void* data, int length) { OnRecord(data, length); }, this});
        plugin = manager.LoadPlugin(PLUGIN_LIBRARY);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr)
            manager.UnLoadPlugin(plugin);
    }

    void OnRecord(void* data, int length) {
        EXPECT_EQ(length, 232) << "the record's published length";
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back({*static_cast<CameraParams*>(data), Clock::now(), std::this_thread::get_id()});
        cv.notify_all();
    }
    void Start() { ASSERT_EQ(plugin->Init(bus, nullptr), 0); }

    // The index of the first record after the first `after` that satisfies `wanted`, or -1.
    int WaitRecord(size_t after, const std::function<bool(const CameraParams&)>& wanted,
                   int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        int found = -1;
        cv.wait_for(lock, milliseconds(timeoutMs), [&] {
            for (size_t i = after; i < records.size() && found < 0; ++i)
                found = wanted(records[i].params) ? static_cast<int>(i) : -1;
            return found >= 0;
        });
        return found;
    }
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
    // The connection states from record `from` on, each run of 0s once: a loss may be reported
    // by the event wait and again by the first pass without the camera.
    std::vector<int> States(size_t from = 0) {
        std::vector<int> out;
        std::vector<Published> got = Records();
        for (size_t i = from; i < got.size(); ++i) {
            if (got[i].params.connectState != 0 || out.empty() || out.back() != 0)
                out.push_back(got[i].params.connectState);
        }
        return out;
    }

    int WaitState(size_t after, int state, int timeoutMs = 5000) {
        return WaitRecord(
            after, [state](const CameraParams& p) { return p.connectState == state; }, timeoutMs);
    }
    // The record published next after `act` (0: done), or an empty one and a failure.
    CameraParams NextRecord(const std::function<int()>& act) {
        size_t before = RecordCount();
        EXPECT_EQ(act(), 0) << sim.LastError();
        std::vector<Published> got = WaitRecords(before + 1);
        EXPECT_GT(got.size(), before) << "no record";
        return got.size() > before ? got[before].params : CameraParams();
    }

    // Plugs the camera and waits for its first connected record (a report of no camera made
    // by a pass just before may come first).
    CameraParams PlugAndConnect(const std::string& model = kSonyA7M3) {
        size_t before = RecordCount();
        EXPECT_EQ(sim.Plug(model), 0) << sim.LastError();
        int at = WaitState(before, 1);
        EXPECT_GE(at, 0) << "no connected record after plugging " << model;
        return at >= 0 ? Records()[static_cast<size_t>(at)].params : CameraParams();
    }

    // Publishes a set request as the host does: a 100-byte text buffer.
    void Request(EventType type, const std::string& text, int length = 100) {
        std::vector<char> payload(static_cast<size_t>(std::max(length, 100)), '\0');
        std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size()));
        bus->Publish(type, payload.data(), length);
    }

    // What the look that ended the wait saw: a condition true for a moment is not asked again.
    static bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000, int everyMs = 10) {
        auto deadline = Clock::now() + milliseconds(timeoutMs);
        bool met = false;
        while (!(met = condition()) && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(everyMs));
        return met;
    }

    bool Received(const std::string& entry) {
        Strings r = sim.Received();
        return std::find(r.begin(), r.end(), entry) != r.end();
    }

    static void Settle(int ms = 400) { std::this_thread::sleep_for(milliseconds(ms)); }

    int SubscriptionsOfPlugin() const {
        auto& all = bus->m_subscribers;
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [this](auto& e) { return e.second.owner == plugin; }));
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    LogCapture log;
    PluginManager manager;
    PluginInterface* plugin = nullptr;

    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Published> records;
};

}  // namespace plugin_host
