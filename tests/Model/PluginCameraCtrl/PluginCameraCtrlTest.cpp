// The plug-in as its host sees it: the real library loaded through
// PluginManager, a real event bus, the simulated camera behind libgphoto2.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

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

// One request at a time, each waiting for the camera to receive the one before.
TEST_F(PluginHostTest, EachSetEventDrivesItsCameraOperation) {
    Start();
    PlugAndConnect();
    sim.ClearReceived();
    std::vector<std::string> wbChoices = sim.Choices("whitebalance");
    ASSERT_GE(wbChoices.size(), 2u);
    const struct {
        EventType type;
        std::string text;
        std::string received;
    } requests[] = {
        {CAMERA_SET_FOCUS_MODE_EVENT, "MF", "focusmode=Manual"},
        {CAMERA_SET_WHITE_BALANCE_EVENT, wbChoices[1], "whitebalance=" + wbChoices[1]},
        {CAMERA_ENABLE_RECORD_EVENT, "1", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, " 5", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, "abc", "movie=0"},
        {CAMERA_ENABLE_RECORD_EVENT, "12", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, "0", "movie=0"},
        {CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540), "kd_touch_focus=(240, 320)"},
    };
    Strings expected;
    for (const auto& r : requests) {
        Request(r.type, r.text);
        expected.push_back(r.received);
        ASSERT_TRUE(Eventually([&] { return sim.Received().size() >= expected.size(); })) << r.text;
    }
    Settle(200);
    EXPECT_EQ(sim.Received(), expected);
    EXPECT_TRUE(log.Has(5, "======= CAMERA_SET_WHITE_BALANCE_EVENT ======"));
    EXPECT_TRUE(log.Has(5, "======= OnSetWhiteBalanceParam, value : " + wbChoices[1] + " ======="));
}

// Requests that wait while the worker is busy: a newer one of the same setting replaces the
// value of the one waiting, which keeps its place; other settings keep theirs.
TEST_F(PluginHostTest, ARequestWaitingForItsTurnIsReplacedByANewerOneOfTheSameSetting) {
    Start();
    PlugAndConnect();
    // The A7 III class waits 100 ms after a shutter set before reading it back.
    ASSERT_EQ(sim.SetStubborn("shutterspeed", true), 0);
    sim.ClearReceived();
    Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/250");
    ASSERT_TRUE(Eventually([&] { return Received("shutterspeed=1/250"); }, 5000, 1));
    Request(CAMERA_SET_ISO_EVENT, "200");
    Request(CAMERA_SET_IRIS_EVENT, "f/5.6");
    Request(CAMERA_SET_ISO_EVENT, "400");
    Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/500");
    Request(CAMERA_SET_ISO_EVENT, "800");
    Request(CAMERA_SET_IRIS_EVENT, "f/8");
    ASSERT_TRUE(Eventually([&] { return sim.Received().size() >= 4; }));
    Settle(400);
    EXPECT_EQ(sim.Received(),
              (Strings{"shutterspeed=1/250", "iso=800", "f-number=f/8", "shutterspeed=1/500"}));
    EXPECT_EQ(sim.Value("iso"), "800");
    EXPECT_EQ(sim.Value("f-number"), "f/8");
    ASSERT_TRUE(Eventually([&] { return Last().iso == "800" && Last().iris == "f/8"; }))
        << Last().iso << " " << Last().iris;
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

    // Groups in which no setting comes twice, each sent once the camera received the last.
    const std::vector<std::vector<std::pair<EventType, const char*>>> groups = {
        {{CAMERA_SET_ISO_EVENT, "200"}},
        {{CAMERA_SET_ISO_EVENT, "12345"},  // not offered: the camera refuses
         {CAMERA_SET_WHITE_BALANCE_EVENT, "Daylight"},
         {CAMERA_SET_FOCUS_MODE_EVENT, "MF"},  // accepted, but a focus set does not notify
         {CAMERA_ENABLE_RECORD_EVENT, "1"},    // photo mode: refused before the camera
         {CAMERA_SET_SHUTTER_SPEED_EVENT, "1/500"},
         {CAMERA_SET_IRIS_EVENT, "f/5.6"}},
        {{CAMERA_SET_IRIS_EVENT, "f/1"},  // not offered
         {CAMERA_SET_ISO_EVENT, "400"}},
    };
    const size_t receivedAfter[] = {1, 6, 8};
    for (size_t g = 0; g < groups.size(); ++g) {
        for (const auto& r : groups[g])
            Request(r.first, r.second);
        ASSERT_TRUE(Eventually([&] { return sim.Received().size() >= receivedAfter[g]; })) << "group " << g;
    }
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
