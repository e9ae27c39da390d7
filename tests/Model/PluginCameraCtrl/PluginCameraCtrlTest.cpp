// The plug-in as its host sees it: the real library loaded through
// PluginManager, a real event bus, the simulated camera behind libgphoto2.
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

namespace {

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
std::string Differences(const CameraParams& a, const CameraParams& b) {
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

    // Plugs the camera and waits for its first connected record.
    CameraParams PlugAndConnect(const std::string& model = kSonyA7M3) {
        size_t before = RecordCount();
        EXPECT_EQ(sim.Plug(model), 0) << sim.LastError();
        std::vector<Published> got = WaitRecords(before + 1);
        EXPECT_GT(got.size(), before) << "no record after plugging " << model;
        return got.empty() ? CameraParams() : got.back().params;
    }

    // Publishes a set request as the host does: a 100-byte text buffer.
    void Request(EventType type, const std::string& text, int length = 100) {
        std::vector<char> payload(static_cast<size_t>(std::max(length, 100)), '\0');
        std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size()));
        bus->Publish(type, payload.data(), length);
    }

    static bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
        auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            if (condition())
                return true;
            std::this_thread::sleep_for(milliseconds(10));
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

TEST_F(PluginHostTest, InitWithoutCameraSubscribesStartsTheWorkerAndReportsNoCamera) {
    Start();
    EXPECT_EQ(SubscriptionsOfPlugin(), 7);
    for (int type = 9001; type <= 9007; ++type) {
        bool found = false;
        for (const auto& entry : bus->m_subscribers)
            found |= entry.first == type && entry.second.owner == plugin;
        EXPECT_TRUE(found) << type;
    }
    std::vector<Published> got = WaitRecords(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].params.connectState, 0);
    EXPECT_TRUE(log.Has(5, "CameraCtrl thread init"));

    bool named = false;
    DIR* tasks = opendir("/proc/self/task");
    ASSERT_NE(tasks, nullptr);
    while (dirent* e = readdir(tasks)) {
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        named |= name == "CameraDoTsk";
    }
    closedir(tasks);
    EXPECT_TRUE(named) << "the worker thread carries its name";
}

TEST_F(PluginHostTest, PluggingPublishesOneConnectedRecordWithTheCameraValues) {
    Start();
    WaitRecords(1);
    CameraParams p = PlugAndConnect();
    EXPECT_EQ(p.connectState, 1);
    EXPECT_EQ(p.cameraType, SonyA7M3);
    EXPECT_EQ(p.iso, sim.Value("iso").value_or("?"));
    EXPECT_EQ(p.mode, sim.Value("expprogram").value_or("?"));
    EXPECT_FALSE(p.supportedIso.empty());
    EXPECT_FALSE(p.supportedShutterSpeed.empty());
    Settle();
    EXPECT_EQ(RecordCount(), 2u) << "a connection publishes once";
    EXPECT_TRUE(log.Has(5, "##### Camera mode : Sony Alpha-A7 III (PC Control)   #############"));
    EXPECT_TRUE(log.Has(5, "### 当前连接状态 1"));
    EXPECT_TRUE(log.Has(5, "### 当前相机类型 1"));

    // The remote destination got the same records as datagrams.
    std::vector<uint8_t> first = remote.Receive();
    std::vector<uint8_t> second = remote.Receive();
    ASSERT_EQ(first.size(), 240u);
    ASSERT_EQ(second.size(), 240u);
    EXPECT_EQ(ReadInt32(second, 0), 9000);
    EXPECT_EQ(ReadInt32(second, 4), 232);
    EXPECT_EQ(ReadInt32(second, 8 + kCameraTypeOffset), 1);
    EXPECT_EQ(ReadInt32(second, 8 + kConnectStateOffset), 1);
}

TEST_F(PluginHostTest, ACameraPresentAtInitIsConnectedOnTheHostThread) {
    ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
    Start();
    std::vector<Published> got = Records();
    ASSERT_EQ(got.size(), 1u) << "published during Init";
    EXPECT_EQ(got[0].params.connectState, 1);
}

TEST_F(PluginHostTest, SetIsoReachesTheCameraAndItsEventPublishesOnce) {
    Start();
    PlugAndConnect();
    size_t before = RecordCount();
    std::string target = sim.Value("iso").value_or("") == "800" ? "1600" : "800";
    Request(CAMERA_SET_ISO_EVENT, target);
    ASSERT_TRUE(Eventually([&] { return Received("iso=" + target); }));
    std::vector<Published> got = WaitRecords(before + 1);
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back().params.iso, target);
    Settle();
    EXPECT_EQ(RecordCount(), before + 1) << "one change, one record";
    EXPECT_TRUE(log.Has(5, "### 当前 ISO :  " + target));
}

TEST_F(PluginHostTest, EachSetEventDrivesItsCameraOperation) {
    Start();
    PlugAndConnect();
    sim.ClearReceived();
    std::vector<std::string> isoChoices = sim.Choices("iso");
    std::vector<std::string> wbChoices = sim.Choices("whitebalance");
    ASSERT_GE(isoChoices.size(), 3u);
    ASSERT_GE(wbChoices.size(), 2u);
    Request(CAMERA_SET_FOCUS_MODE_EVENT, "MF");
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, wbChoices[1]);
    Request(CAMERA_ENABLE_RECORD_EVENT, "1");
    Request(CAMERA_ENABLE_RECORD_EVENT, " 5");
    Request(CAMERA_ENABLE_RECORD_EVENT, "abc");
    Request(CAMERA_ENABLE_RECORD_EVENT, "12");
    Request(CAMERA_ENABLE_RECORD_EVENT, "0");
    Request(CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540));
    ASSERT_TRUE(Eventually([&] { return Received("kd_touch_focus=(240, 320)"); }));
    Strings r = sim.Received();
    Strings expected = {
        "focusmode=Manual", "whitebalance=" + wbChoices[1], "movie=1", "movie=1", "movie=0", "movie=1",
        "movie=0",          "kd_touch_focus=(240, 320)"};
    EXPECT_EQ(r, expected);
    EXPECT_TRUE(log.Has(5, "======= CAMERA_SET_WHITE_BALANCE_EVENT ======"));
    EXPECT_TRUE(log.Has(5, "======= OnSetWhiteBalanceParam, value : " + wbChoices[1] + " ======="));
}

TEST_F(PluginHostTest, MalformedRequestsQueueNothing) {
    Start();
    PlugAndConnect();
    sim.ClearReceived();
    log.Clear();
    Request(CAMERA_SET_ISO_EVENT, "800", 99);
    Request(CAMERA_SET_ISO_EVENT, "800", 101);
    bus->Publish(CAMERA_SET_ISO_EVENT, nullptr, 100);
    bus->Publish(CAMERA_SET_WHITE_BALANCE_EVENT, nullptr, 100);
    // A text that fills all 100 bytes without a NUL is cut at the buffer's end.
    std::string longText(100, '7');
    Request(CAMERA_SET_IRIS_EVENT, longText);
    ASSERT_TRUE(Eventually([&] { return !sim.Received().empty(); }));
    Settle(300);
    EXPECT_EQ(sim.Received(), Strings{"f-number=" + longText});
    EXPECT_EQ(log.Count(5, "======= CAMERA_SET_WHITE_BALANCE_EVENT ======"), 1);
}

TEST_F(PluginHostTest, CameraEventsUpdateTheirFields) {
    Start();
    PlugAndConnect();
    struct Case {
        std::function<void()> queue;
        std::function<std::string(const CameraParams&)> field;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {[&] { sim.QueueInt32Event(11, 280); }, [](const CameraParams& p) { return p.iris; }, "f/2.8"},
        {[&] { sim.QueueInt32Event(11, 400); }, [](const CameraParams& p) { return p.iris; }, "f/4"},
        {[&] { sim.QueueInt32Event(11, 1000); }, [](const CameraParams& p) { return p.iris; }, "f/10"},
        {[&] { sim.QueueInt32Event(11, 1100); }, [](const CameraParams& p) { return p.iris; }, "f/11"},
        {[&] { sim.QueueInt32Event(13, 6400); }, [](const CameraParams& p) { return p.iso; }, "6400"},
        {[&] { sim.QueueRecordEvent(1); },
         [](const CameraParams& p) { return std::to_string(p.recordEnable); }, "1"},
        {[&] { sim.QueueRecordEvent(0); },
         [](const CameraParams& p) { return std::to_string(p.recordEnable); }, "0"},
    };
    for (const Case& c : cases) {
        size_t before = RecordCount();
        c.queue();
        std::vector<Published> got = WaitRecords(before + 1);
        ASSERT_EQ(got.size(), before + 1) << c.expected;
        EXPECT_EQ(c.field(got.back().params), c.expected);
    }
    EXPECT_TRUE(log.Has(5, "==== 当前 IRIS : 2.8 ===="));
    EXPECT_TRUE(log.Has(5, "==== 当前 IRIS : 11 ===="));
}

TEST_F(PluginHostTest, EventsThatChangeNothingPublishNothing) {
    Start();
    CameraParams p = PlugAndConnect();
    size_t before = RecordCount();
    sim.QueueRecordEvent(p.recordEnable ? 1 : 0);  // already so
    sim.QueueRecordEvent(7);                       // not a state
    sim.QueueInt32Event(15, 0x8010);               // no focus code known to this model
    sim.QueueShutterEvent(1, 250);
    sim.QueueModeEvent(2);
    sim.QueueInt32Event(12, 2);
    sim.QueueInt32Event(14, 1);
    ASSERT_TRUE(Eventually([&] { return sim.PendingEvents() == 0; }));
    Settle(300);
    EXPECT_EQ(RecordCount(), before);
    EXPECT_EQ(Last().iso, p.iso);
}

TEST_F(PluginHostTest, AnUnknownEventReReadsEverything) {
    Start();
    PlugAndConnect();
    std::vector<std::string> wb = sim.Choices("whitebalance");
    ASSERT_GE(wb.size(), 2u);
    std::string other = sim.Value("whitebalance").value_or("") == wb[0] ? wb[1] : wb[0];
    ASSERT_EQ(sim.SetValue("whitebalance", other), 0);
    size_t before = RecordCount();
    sim.QueueTextEvent(GP_EVENT_UNKNOWN, "PTP Property 5005 changed");
    std::vector<Published> got = WaitRecords(before + 1);
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back().params.whiteBalance, other);
}

TEST_F(PluginHostTest, LossReportedByTheEventWaitPublishesAndReconnects) {
    Start();
    PlugAndConnect();
    size_t before = RecordCount();
    ASSERT_EQ(sim.FailEventWait(GP_ERROR_MODEL_NOT_FOUND, 1), 0);
    std::vector<Published> got = WaitRecords(before + 2);
    ASSERT_GE(got.size(), before + 2);
    EXPECT_EQ(got[before].params.connectState, 0);
    EXPECT_EQ(got[before + 1].params.connectState, 1) << "the camera is still there: reconnected";
    EXPECT_TRUE(log.Has(5, "====== 连接断开 ======="));
}

TEST_F(PluginHostTest, UnplugIsReportedThenRepeatedEvery21stAbsentPass) {
    Start();
    PlugAndConnect();
    size_t before = RecordCount();
    auto unpluggedAt = Clock::now();
    ASSERT_EQ(sim.Unplug(), 0);
    std::vector<Published> got = WaitRecords(before + 1);
    ASSERT_GT(got.size(), before);
    EXPECT_EQ(got[before].params.connectState, 0);
    Settle(500);
    got = Records();
    // Seen by the event wait first: reported by it and by the first absent pass.
    size_t expected = log.Has(5, "====== 连接断开 =======") ? 2 : 1;
    ASSERT_EQ(got.size(), before + expected);
    for (size_t i = before; i < got.size(); ++i)
        EXPECT_EQ(got[i].params.connectState, 0);

    // About 21 passes of a 100 ms queue wait later, the report repeats.
    got = WaitRecords(before + expected + 1, 6000);
    ASSERT_EQ(got.size(), before + expected + 1);
    EXPECT_EQ(got.back().params.connectState, 0);
    EXPECT_GE(got.back().at - unpluggedAt, milliseconds(1800));

    size_t beforeReplug = got.size();
    ASSERT_EQ(sim.Replug(), 0);
    got = WaitRecords(beforeReplug + 1);
    ASSERT_GT(got.size(), beforeReplug);
    EXPECT_EQ(got[beforeReplug].params.connectState, 1);
}

// The camera is there before Init, whose own attempt uses up the first failure.
TEST_F(PluginHostTest, OtherConnectionFailuresAreReportedEveryThirdTime) {
    ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
    ASSERT_EQ(sim.FailConnect(GP_ERROR, 7), 0);
    Start();
    EXPECT_TRUE(Records().empty()) << "a failed attempt in Init publishes nothing";
    std::vector<Published> got = WaitRecords(3, 8000);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].params.connectState, 2) << "after the worker's third failure";
    EXPECT_EQ(got[1].params.connectState, 2) << "after its sixth";
    EXPECT_EQ(got[2].params.connectState, 1);
    EXPECT_EQ(log.Count(5, "camera connected error!!"), 2);
}

TEST_F(PluginHostTest, ConnectionTimeOutsAreReportedAtOnce) {
    ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
    ASSERT_EQ(sim.FailConnect(GP_ERROR_TIMEOUT, 3), 0);
    Start();
    std::vector<Published> got = WaitRecords(3, 8000);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].params.connectState, 2);
    EXPECT_EQ(got[1].params.connectState, 2);
    EXPECT_EQ(got[2].params.connectState, 1);
    EXPECT_EQ(log.Count(5, "camera connected timed out!!"), 2);
}

TEST_F(PluginHostTest, AModelWithoutClassConnectsButPublishesNothing) {
    Start();
    WaitRecords(1);
    ASSERT_EQ(sim.Plug("Sony ILCE-6400 (PC Control)"), 0);
    ASSERT_TRUE(Eventually([&] { return log.Has(2, "Failed, unrecog camera, type : 0"); }));
    EXPECT_TRUE(log.Has(5, "====== model_str : Sony ILCE-6400 (PC Control), mode_type : 0  ======="));
    Request(CAMERA_SET_ISO_EVENT, "800");
    Settle(500);
    EXPECT_EQ(RecordCount(), 1u);
    EXPECT_FALSE(Received("iso=800"));
    EXPECT_TRUE(log.Has(2, "Failed to Get"));
}

TEST_F(PluginHostTest, AFullQueueBlocksTheCallbackThenDropsTheRequest) {
    Start();
    PlugAndConnect();
    // Each shutter set waits 100 ms for the camera to confirm it, so requests pile up.
    sim.SetStubborn("shutterspeed", true);
    Clock::duration longest{};
    for (int i = 0; i < 110; ++i) {
        auto start = Clock::now();
        Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/250");
        longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_GE(longest, milliseconds(90)) << "a push into the full queue waits its 100 ms";
    EXPECT_LT(longest, milliseconds(2000));

    auto start = Clock::now();
    ASSERT_EQ(plugin->UnInit(), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(1500)) << "UnInit ends the thread within one iteration";
    EXPECT_EQ(SubscriptionsOfPlugin(), 0);
    size_t sets = sim.Received().size();
    EXPECT_LT(sets, 20u) << "queued tasks are dropped, not run";
    Settle(300);
    EXPECT_EQ(sim.Received().size(), sets);
}

TEST_F(PluginHostTest, UnInitLeavesNoSubscriptionAndStopsPublishing) {
    Start();
    PlugAndConnect();
    ASSERT_EQ(plugin->UnInit(), 0);
    EXPECT_EQ(SubscriptionsOfPlugin(), 0);
    size_t count = RecordCount();
    sim.QueueInt32Event(13, 100);
    sim.Unplug();
    Request(CAMERA_SET_ISO_EVENT, "800");
    Settle(400);
    EXPECT_EQ(RecordCount(), count);
    EXPECT_FALSE(Received("iso=800"));
    EXPECT_EQ(plugin->UnInit(), 0) << "a second UnInit is harmless";
}

// The Nikon class publishes an accepted set itself, on the worker thread,
// before the camera reports the change; a refused set publishes nothing.
TEST_F(PluginHostTest, NikonSetsPublishAtOnceInRequestOrder) {
    Start();
    WaitRecords(1);
    const CameraParams connected = PlugAndConnect("Nikon Z8");
    ASSERT_EQ(connected.cameraType, NikonZ8);
    ASSERT_EQ(connected.iso, "100");
    ASSERT_FALSE(connected.dispMode);
    // The camera's own change events stay queued for the whole test.
    ASSERT_EQ(sim.SetSettleDelay(60000), 0);
    sim.ClearReceived();
    size_t before = RecordCount();

    Request(CAMERA_SET_ISO_EVENT, "200");
    Request(CAMERA_SET_ISO_EVENT, "12345");  // not offered: the camera refuses
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, "Daylight");
    Request(CAMERA_SET_FOCUS_MODE_EVENT, "MF");  // accepted, but a focus set does not notify
    Request(CAMERA_ENABLE_RECORD_EVENT, "1");    // photo mode: refused before the camera
    Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/500");
    Request(CAMERA_SET_IRIS_EVENT, "f/5.6");
    Request(CAMERA_SET_IRIS_EVENT, "f/1");  // not offered
    Request(CAMERA_SET_ISO_EVENT, "400");
    std::vector<Published> got = WaitRecords(before + 5);
    ASSERT_EQ(got.size(), before + 5);
    Settle(300);
    EXPECT_EQ(RecordCount(), before + 5) << "one record per accepted set, none for the others";

    const std::vector<std::pair<std::string CameraParams::*, const char*>> steps = {
        {&CameraParams::iso, "200"},
        {&CameraParams::whiteBalance, "Daylight"},
        {&CameraParams::shutterSpeed, "1/500"},
        {&CameraParams::iris, "f/5.6"},
        {&CameraParams::iso, "400"}};
    CameraParams expected = connected;
    for (size_t i = 0; i < steps.size(); ++i) {
        expected.*steps[i].first = steps[i].second;
        EXPECT_TRUE(got[before + i].params == expected)
            << "record " << i << " changes only " << steps[i].second;
        EXPECT_NE(got[before + i].thread, std::this_thread::get_id()) << "published by the worker";
    }
    EXPECT_GT(sim.PendingEvents(), 0u) << "the camera has reported none of these changes yet";
    EXPECT_EQ(sim.Received(), (Strings{"kd_nikon_photo_iso=200", "kd_nikon_photo_iso=12345",
                                       "whitebalance=Daylight", "focusmode=Manual", "shutterspeed2=1/500",
                                       "f-number=f/5.6", "f-number=f/1", "kd_nikon_photo_iso=400"}));
    EXPECT_TRUE(log.Has(2, "Failed, current is not record mode"));
    EXPECT_TRUE(log.Has(5, "### 当前 ISO :  400"));
}

// A change the camera reported before a set request arrived at the idle worker reaches the
// host before the set does. The Nikon class publishes an accepted set at once, so a task run ahead of the
// camera's pending event would publish the set first, without the camera's change.
TEST_F(PluginHostTest, ACameraChangePendingWhenASetArrivesIsPublishedFirst) {
    Start();
    WaitRecords(1);
    const CameraParams connected = PlugAndConnect("Nikon Z8");
    ASSERT_EQ(connected.iso, "100");
    ASSERT_EQ(sim.SetSettleDelay(60000), 0);  // the sets' own events stay away
    const struct {
        int32_t aperture;
        const char* iris;
        const char* iso;
    } rounds[] = {{560, "f/5.6", "200"}, {800, "f/8", "400"},   {1100, "f/11", "200"},
                  {280, "f/2.8", "400"}, {450, "f/4.5", "200"}, {1000, "f/10", "400"}};
    CameraParams expected = connected;
    for (const auto& round : rounds) {
        // The worker idles: a task queued while another runs is run before any event is read.
        Settle(200);
        size_t before = RecordCount();
        ASSERT_EQ(sim.QueueInt32Event(11, round.aperture), 0);
        Request(CAMERA_SET_ISO_EVENT, round.iso);
        std::vector<Published> got = WaitRecords(before + 2);
        ASSERT_EQ(got.size(), before + 2) << round.iris;
        expected.iris = round.iris;
        EXPECT_TRUE(got[before].params == expected)
            << "first the camera's change alone; differs in " << Differences(got[before].params, expected);
        expected.iso = round.iso;
        EXPECT_TRUE(got[before + 1].params == expected)
            << "then the set on top of it; differs in " << Differences(got[before + 1].params, expected);
    }
    Settle(300);
    EXPECT_EQ(RecordCount(), 1 + 1 + 2 * (sizeof(rounds) / sizeof(rounds[0])));
}

// Requests queued behind each other run in order, and every change the camera reports for
// them is published once, in the order the camera reported them, each record holding the
// changes before it.
TEST_F(PluginHostTest, ABurstOfSetsIsConfirmedRecordByRecordInRequestOrder) {
    Start();
    const CameraParams connected = PlugAndConnect();
    ASSERT_EQ(connected.iso, "AUTO");
    ASSERT_EQ(connected.iris, "f/4");
    ASSERT_EQ(connected.whiteBalance, "Automatic");
    sim.ClearReceived();
    size_t before = RecordCount();
    Request(CAMERA_SET_ISO_EVENT, "800");
    Request(CAMERA_SET_IRIS_EVENT, "f/5.6");
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, "Daylight");  // reported as a property change: re-read
    std::vector<Published> got = WaitRecords(before + 3);
    ASSERT_EQ(got.size(), before + 3);
    Settle(400);
    EXPECT_EQ(RecordCount(), before + 3) << "one record per reported change";
    EXPECT_EQ(sim.Received(), (Strings{"iso=800", "f-number=f/5.6", "whitebalance=Daylight"}));
    const std::vector<std::vector<std::string>> fields = {// iso, iris, white balance
                                                          {"800", "f/4", "Automatic"},
                                                          {"800", "f/5.6", "Automatic"},
                                                          {"800", "f/5.6", "Daylight"}};
    for (size_t i = 0; i < fields.size(); ++i) {
        const CameraParams& p = got[before + i].params;
        EXPECT_EQ((std::vector<std::string>{p.iso, p.iris, p.whiteBalance}), fields[i]) << "record " << i;
        EXPECT_EQ(p.connectState, 1);
    }
}

}  // namespace
