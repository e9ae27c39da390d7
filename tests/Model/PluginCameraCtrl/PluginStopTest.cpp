// What the host asked for before it stopped, and during a flood of requests, reaches the
// camera and the host; starting again after a stop; stopping while the host publishes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

class PluginStopTest : public PluginHostTest {
  protected:
    // Stops the plug-in as the host does at quit; returns how long UnInit took.
    Clock::duration TimedUnInit() {
        auto start = Clock::now();
        EXPECT_EQ(plugin->UnInit(), 0);
        return Clock::now() - start;
    }
};

const Strings kIsoValues = {"100", "200", "400", "800", "1600", "3200", "6400", "12800", "250", "500"};
const Strings kIrisValues = {"f/2.8", "f/5.6", "f/8", "f/11", "f/4.5"};
const Strings kWbValues = {"Daylight", "Shade", "Cloudy", "Tungsten"};

TEST_F(PluginStopTest, SetsQueuedRightBeforeUnInitReachTheCameraAndTheLastRecord) {
    Start();
    const CameraParams connected = PlugAndConnect();
    ASSERT_EQ(connected.iso, "AUTO");
    ASSERT_EQ(connected.iris, "f/4");
    ASSERT_EQ(connected.shutterSpeed, "1/125");
    Settle(300);
    sim.ClearReceived();
    Request(CAMERA_SET_ISO_EVENT, "1600");
    Request(CAMERA_SET_IRIS_EVENT, "f/5.6");
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, "Daylight");
    Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/250");
    Request(CAMERA_SET_FOCUS_MODE_EVENT, "MF");
    Request(CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540));
    EXPECT_LT(TimedUnInit(), milliseconds(5000));
    EXPECT_EQ(sim.Received(),
              (Strings{"iso=1600", "f-number=f/5.6", "whitebalance=Daylight", "shutterspeed=1/250",
                       "focusmode=Manual", "kd_touch_focus=(240, 320)"}));
    const CameraParams last = Last();
    EXPECT_EQ((Strings{last.iso, last.iris, last.whiteBalance, last.shutterSpeed, last.focusMode}),
              (Strings{"1600", "f/5.6", "Daylight", "1/250", "MF"}));
    EXPECT_EQ(last.connectState, 1);
    size_t count = RecordCount();
    Settle(200);
    EXPECT_EQ(RecordCount(), count) << "nothing is published after UnInit returned";
}

// 10,000 requests as fast as the host can publish them, three settings interleaved.
TEST_F(PluginStopTest, AFloodThenUnInitEndsOnTheLastValueOfEverySetting) {
    Start();
    PlugAndConnect();
    std::string lastIso, lastIris, lastWb;
    auto start = Clock::now();
    for (int i = 0; i < 10000; ++i) {
        if (i % 13 == 5) {
            lastWb = kWbValues[static_cast<size_t>(i) % kWbValues.size()];
            Request(CAMERA_SET_WHITE_BALANCE_EVENT, lastWb);
        } else if (i % 7 == 3) {
            lastIris = kIrisValues[static_cast<size_t>(i) % kIrisValues.size()];
            Request(CAMERA_SET_IRIS_EVENT, lastIris);
        } else {
            lastIso = kIsoValues[static_cast<size_t>(i) % kIsoValues.size()];
            Request(CAMERA_SET_ISO_EVENT, lastIso);
        }
        ASSERT_LT(Clock::now() - start, milliseconds(20000)) << "publishing blocks; stopped after " << i;
    }
    EXPECT_LT(TimedUnInit(), milliseconds(5000));
    EXPECT_EQ(sim.Value("iso"), lastIso);
    EXPECT_EQ(sim.Value("f-number"), lastIris);
    EXPECT_EQ(sim.Value("whitebalance"), lastWb);
    const CameraParams last = Last();
    EXPECT_EQ((Strings{last.iso, last.iris, last.whiteBalance}), (Strings{lastIso, lastIris, lastWb}));
}

// The host keeps publishing for a while: the records keep coming meanwhile, and the last
// request is what the camera and the record end on, without stopping the plug-in.
TEST_F(PluginStopTest, TheRecordFollowsTheCameraDuringABurst) {
    Start();
    PlugAndConnect();
    size_t before = RecordCount();
    std::string lastIso;
    auto burstStart = Clock::now();
    std::thread host([&] {
        for (size_t i = 0; Clock::now() - burstStart < milliseconds(1500); ++i) {
            lastIso = kIsoValues[i % kIsoValues.size()];
            Request(CAMERA_SET_ISO_EVENT, lastIso);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    host.join();
    auto burstEnd = Clock::now();
    std::vector<Published> got = Records();
    size_t during = 0;
    for (size_t i = before; i < got.size(); ++i) {
        EXPECT_NE(std::find(kIsoValues.begin(), kIsoValues.end(), got[i].params.iso), kIsoValues.end())
            << got[i].params.iso;
        during += got[i].at < burstEnd ? 1 : 0;
    }
    EXPECT_GE(during, 5u) << "records published while the requests kept coming";
    // A record of an earlier request of the same value may come first: wait for both.
    ASSERT_TRUE(Eventually([&] { return sim.Value("iso") == lastIso && Last().iso == lastIso; }))
        << Last().iso << " " << sim.Value("iso").value_or("?") << " != " << lastIso;
    Settle(300);
    EXPECT_EQ(sim.Value("iso"), lastIso);
    EXPECT_EQ(Last().iso, lastIso);
}

// A second Init after UnInit works as the first: a camera is connected and reported again,
// requests reach it; without a camera the worker waits as it did.
TEST_F(PluginStopTest, ASecondInitAfterUnInitWorksLikeTheFirst) {
    Start();
    PlugAndConnect();
    ASSERT_EQ(plugin->UnInit(), 0);
    size_t before = RecordCount();
    ASSERT_EQ(plugin->Init(bus, nullptr), 0);
    EXPECT_EQ(SubscriptionsOfPlugin(), 7);
    std::vector<Published> got = WaitRecords(before + 1);
    ASSERT_EQ(got.size(), before + 1) << "a fresh connection publishes";
    EXPECT_EQ(got.back().params.connectState, 1);
    EXPECT_EQ(got.back().params.cameraType, SonyA7M3);
    Request(CAMERA_SET_ISO_EVENT, "1600");
    ASSERT_TRUE(Eventually([&] { return Received("iso=1600"); }));
    ASSERT_TRUE(Eventually([&] { return Last().iso == "1600"; }));
    EXPECT_EQ(plugin->Init(bus, nullptr), -1) << "running already";
    EXPECT_EQ(SubscriptionsOfPlugin(), 7);
}

TEST_F(PluginStopTest, ASecondInitWithoutCameraReportsOnceAndWaits) {
    Start();
    WaitRecords(1);
    ASSERT_EQ(plugin->UnInit(), 0);
    size_t before = RecordCount();
    ASSERT_EQ(plugin->Init(bus, nullptr), 0);
    Settle(1500);  // shorter than the 21 passes after which the report repeats
    std::vector<Published> got = Records();
    ASSERT_EQ(got.size(), before + 1) << "one report of no camera, no pass without its waits";
    EXPECT_EQ(got.back().params.connectState, 0);
    PlugAndConnect();
    EXPECT_EQ(Last().connectState, 1);
}

// The bus calls the callbacks of a publish from a copy taken when it began. A subscriber
// called before the plug-in holds that publish while the host unloads the plug-in; the
// plug-in's copied callback then runs against a deleted object unless it can tell.
TEST_F(PluginStopTest, ACallbackCopiedByAPublishInFlightDoesNotReachAnUnloadedPlugin) {
    std::mutex gateMutex;
    std::condition_variable gateCv;
    bool inside = false;
    bool release = false;
    int owner = 0;
    bus->Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) {
                                              std::unique_lock<std::mutex> lock(gateMutex);
                                              inside = true;
                                              gateCv.notify_all();
                                              gateCv.wait_for(lock, milliseconds(10000),
                                                              [&] { return release; });
                                          },
                                          &owner});
    ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
    Start();
    std::thread host([&] { Request(CAMERA_SET_ISO_EVENT, "1600"); });
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        ASSERT_TRUE(gateCv.wait_for(lock, milliseconds(5000), [&] { return inside; }));
    }
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        release = true;
    }
    gateCv.notify_all();
    host.join();
    EXPECT_FALSE(Received("iso=1600")) << "published after the plug-in stopped";
    bus->UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);
}

// The same without holding anything: another thread publishes all the time while the plug-in
// is loaded, started, stopped and unloaded.
TEST_F(PluginStopTest, UnloadingWhileAnotherThreadPublishesIsSafe) {
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    std::atomic<bool> stop{false};
    std::thread host([&] {
        for (int i = 0; !stop; ++i) {
            Request(static_cast<EventType>(CAMERA_SET_FOCUS_MODE_EVENT + i % 7), std::to_string(i));
        }
    });
    for (int round = 0; round < 20; ++round) {
        PluginInterface* p = manager.LoadPlugin(PLUGIN_LIBRARY);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->Init(bus, nullptr), 0);
        std::this_thread::sleep_for(milliseconds(10));
        manager.UnLoadPlugin(p);
    }
    stop = true;
    host.join();
    EXPECT_TRUE(bus->m_subscribers.count(CAMERA_SET_ISO_EVENT) == 0);
}

}  // namespace
