// The plug-in as its host sees it: what it subscribes and publishes, what requests do to the
// camera, how the camera's events and faults reach the record, and stopping while the host
// publishes.
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <ostream>
#include <tuple>

#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

class PluginLoopTest : public PluginHostTest {};
class PluginStopTest : public PluginHostTest {};

size_t OpenDescriptors() {
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

// Without a camera, connected, stopped, started with the camera there, without it again, and
// unloaded, which closes the connection that UnInit left open.
TEST_F(PluginHostTest, StartsConnectsStopsStartsAgainAndUnloads) {
    Start();
    for (int type = CAMERA_SET_FOCUS_MODE_EVENT; type <= CAMERA_TOUCH_FOCUS_EVENT; ++type)
        EXPECT_EQ(bus->m_subscribers.count(static_cast<EventType>(type)), 1u) << type;
    EXPECT_EQ(SubscriptionsOfPlugin(), 7);
    ASSERT_EQ(WaitRecords(1).size(), 1u);
    EXPECT_EQ(Last().connectState, 0);
    EXPECT_TRUE(log.Has(5, "CameraCtrl thread init"));
    bool named = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        named |= std::getline(comm, name) && name == "CameraDoTsk";
    }
    EXPECT_TRUE(named) << "the worker thread carries its name";

    const CameraParams p = PlugAndConnect();
    EXPECT_EQ(p.cameraType, SonyA7M3);
    EXPECT_EQ(p.iso + " " + p.mode,
              sim.Value("iso").value_or("?") + " " + sim.Value("expprogram").value_or("?"));
    EXPECT_FALSE(p.supportedIso.empty() || p.supportedShutterSpeed.empty());
    Settle();
    EXPECT_EQ(RecordCount(), 2u) << "a connection publishes once";
    EXPECT_TRUE(log.Has(5, "##### Camera mode : Sony Alpha-A7 III (PC Control)   #############"));
    EXPECT_TRUE(log.Has(5, "### 当前连接状态 1") && log.Has(5, "### 当前相机类型 1"));
    ASSERT_EQ(plugin->UnInit(), 0);
    EXPECT_EQ(SubscriptionsOfPlugin(), 0);
    sim.QueueInt32Event(13, 100);
    Request(CAMERA_SET_ISO_EVENT, "800");
    sim.Unplug();
    Settle();
    EXPECT_EQ(RecordCount(), 2u) << "nothing is published after UnInit";
    EXPECT_FALSE(Received("iso=800"));
    EXPECT_EQ(plugin->UnInit(), 0) << "a second UnInit is harmless";

    ASSERT_EQ(sim.ClearEvents() + sim.Replug(), 0);
    Start();
    std::vector<Published> got = Records();
    ASSERT_EQ(got.size(), 3u) << "a camera there at Init is connected during Init";
    EXPECT_EQ(got[2].params.connectState, 1);
    EXPECT_EQ(got[2].thread, std::this_thread::get_id());
    Request(CAMERA_SET_ISO_EVENT, "1600");
    EXPECT_TRUE(Eventually([&] { return Received("iso=1600") && Last().iso == "1600"; }));
    EXPECT_EQ(plugin->Init(bus, nullptr), -1) << "running already";
    EXPECT_EQ(SubscriptionsOfPlugin(), 7);

    ASSERT_EQ(plugin->UnInit(), 0);
    ASSERT_EQ(sim.Unplug(), 0);
    const size_t before = RecordCount();
    Start();
    Settle(1500);  // shorter than the 21 passes after which the report repeats
    EXPECT_EQ(States(before), std::vector<int>{0}) << "one report of no camera, and passes that wait";
    PlugAndConnect();
    ASSERT_EQ(plugin->UnInit(), 0);

    // Under the emulator the driver stays listed in /proc/self/maps after libgphoto2 closed it.
    const char* launcher = std::getenv("CAMCTRL_TEST_LAUNCHER");
    auto driverMapped = [] {
        std::ifstream maps("/proc/self/maps");
        std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
        return text.find("/camlibs/camsim.so") != std::string::npos;
    };
    EXPECT_TRUE(driverMapped()) << "the connection stays open after UnInit";
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    EXPECT_TRUE((launcher != nullptr && *launcher != '\0') || !driverMapped())
        << "the camera was closed and freed";
}

// Requests one at a time, after requests the plug-in drops: a wrong length, no data.
TEST_F(PluginHostTest, EachRequestDrivesItsCameraOperation) {
    Start();
    PlugAndConnect();
    sim.ClearReceived();
    Request(CAMERA_SET_ISO_EVENT, "800", 99);
    Request(CAMERA_SET_ISO_EVENT, "800", 101);
    bus->Publish(CAMERA_SET_ISO_EVENT, nullptr, 100);
    bus->Publish(CAMERA_SET_WHITE_BALANCE_EVENT, nullptr, 100);
    const std::string wb = sim.Choices("whitebalance").at(1);
    const std::string full(100, '7');  // no NUL in the buffer: the text ends with it
    const std::tuple<EventType, std::string, std::string> requests[] = {
        {CAMERA_SET_IRIS_EVENT, full, "f-number=" + full},
        {CAMERA_SET_FOCUS_MODE_EVENT, "MF", "focusmode=Manual"},
        {CAMERA_SET_WHITE_BALANCE_EVENT, wb, "whitebalance=" + wb},
        {CAMERA_ENABLE_RECORD_EVENT, "1", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, " 5", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, "abc", "movie=0"},
        {CAMERA_ENABLE_RECORD_EVENT, "12", "movie=1"},
        {CAMERA_ENABLE_RECORD_EVENT, "0", "movie=0"},
        {CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540), "kd_touch_focus=(240, 320)"},
    };
    Strings expected;
    for (const auto& [type, text, received] : requests) {
        Request(type, text);
        expected.push_back(received);
        ASSERT_TRUE(Eventually([&] { return sim.Received().size() >= expected.size(); })) << text;
    }
    Settle(200);
    EXPECT_EQ(sim.Received(), expected);
    EXPECT_EQ(log.Count(5, "======= CAMERA_SET_WHITE_BALANCE_EVENT ======"), 2) << "also without data";
    EXPECT_TRUE(log.Has(5, "======= OnSetWhiteBalanceParam, value : " + wb + " ======="));
}

// While the worker is busy, a newer request of a setting replaces the value of the one waiting,
// which keeps its place; recording and touches are actions: every one runs, in order.
TEST_F(PluginHostTest, AWaitingSettingTakesTheNewestValueWhileEveryActionRuns) {
    Start();
    PlugAndConnect();
    // The A7 III class waits 100 ms after a shutter set before reading it back.
    ASSERT_EQ(sim.SetStubborn("shutterspeed", true), 0);
    sim.ClearReceived();
    Request(CAMERA_SET_SHUTTER_SPEED_EVENT, "1/250");
    ASSERT_TRUE(Eventually([&] { return Received("shutterspeed=1/250"); }, 5000, 1));
    const std::pair<EventType, const char*> burst[] = {{CAMERA_SET_ISO_EVENT, "200"},
                                                       {CAMERA_SET_IRIS_EVENT, "f/5.6"},
                                                       {CAMERA_ENABLE_RECORD_EVENT, "1"},
                                                       {CAMERA_SET_ISO_EVENT, "400"},
                                                       {CAMERA_SET_SHUTTER_SPEED_EVENT, "1/500"},
                                                       {CAMERA_ENABLE_RECORD_EVENT, "0"},
                                                       {CAMERA_SET_ISO_EVENT, "800"},
                                                       {CAMERA_SET_IRIS_EVENT, "f/8"}};
    for (const auto& [type, text] : burst)
        Request(type, text);
    const Strings expected = {"shutterspeed=1/250", "iso=800", "f-number=f/8", "movie=1",
                              "shutterspeed=1/500", "movie=0"};
    ASSERT_TRUE(Eventually([&] { return sim.Received().size() >= expected.size(); }));
    Settle();
    EXPECT_EQ(sim.Received(), expected);
    EXPECT_EQ(log.Count(2, "Failed to gp_camera_get_single_config to get widget"), 2)
        << "neither shutter set read back";
    EXPECT_TRUE(Eventually([&] { return Last().iso == "800" && Last().iris == "f/8"; })) << Summary(Last());
}

// Each event the camera reports, on the body that knows the most codes; a mode re-reads what
// depends on it, an unknown event everything.
TEST_F(PluginHostTest, CameraEventsReachTheRecord) {
    Start();
    PlugAndConnect("Nikon Z8");
    const std::tuple<int, int32_t, std::string CameraParams::*, const char*> events[] = {
        {11, 280, &CameraParams::iris, "f/2.8"},           {11, 1100, &CameraParams::iris, "f/11"},
        {11, 450, &CameraParams::iris, "f/4.5"},           {13, 6400, &CameraParams::iso, "6400"},
        {13, INT32_MIN, &CameraParams::iso, "2147483648"},  // unsigned
        {13, -1, &CameraParams::iso, "4294967295"},        {12, 0x8011, &CameraParams::whiteBalance, "Shade"},
        {15, 0x8011, &CameraParams::focusMode, "AF-C"},
    };
    for (const auto& [type, value, field, expected] : events)
        EXPECT_EQ(NextRecord([&, t = type, v = value] { return sim.QueueInt32Event(t, v); }).*field, expected)
            << type;
    EXPECT_TRUE(log.Has(5, "==== 当前 IRIS : 2.8 ====") && log.Has(5, "==== 当前 IRIS : 11 ===="));
    EXPECT_TRUE(NextRecord([&] { return sim.QueueRecordEvent(1); }).recordEnable);
    EXPECT_FALSE(NextRecord([&] { return sim.QueueRecordEvent(0); }).recordEnable);
    EXPECT_EQ(NextRecord([&] { return sim.QueueShutterEvent(1, 500); }).shutterSpeed, "1/500");
    // Values changed on the camera without an event of their own.
    ASSERT_EQ(sim.SetValue("kd_nikon_photo_iso", "800") + sim.SetValue("f-number", "f/5.6") +
                  sim.SetValue("whitebalance", "Cloudy"),
              0);
    CameraParams p = NextRecord([&] { return sim.QueueModeEvent(1); });
    EXPECT_EQ(p.mode + " " + p.iso + " " + p.iris + " " + p.whiteBalance, "M 800 f/5.6 Cloudy");
    ASSERT_EQ(sim.SetValue("whitebalance", "Daylight"), 0);
    EXPECT_EQ(NextRecord([&] { return sim.QueueTextEvent(GP_EVENT_UNKNOWN, "5005"); }).whiteBalance,
              "Daylight");

    // Events that change nothing, then one that does: the only record is the last one's.
    size_t before = RecordCount();
    for (int rc : {sim.QueueRecordEvent(0), sim.QueueRecordEvent(7), sim.QueueInt32Event(15, 0x1234),
                   sim.QueueInt32Event(12, 0x1234), sim.QueueShutterEvent(0, 0), sim.QueueModeEvent(0x7777),
                   sim.QueueModeEvent(2), sim.QueueInt32Event(14, 1), sim.QueueInt32Event(13, 3200)})
        ASSERT_EQ(rc, 0);
    ASSERT_EQ(WaitRecords(before + 1).size(), before + 1);
    Settle(300);
    EXPECT_EQ(RecordCount(), before + 1);
    EXPECT_EQ(Last().iso, "3200");
}

// A change the camera reported before a set request reached the idle worker is published before
// the set: the Nikon class publishes an accepted set at once, on the worker thread, so a set run
// ahead of the camera's pending event would go out first, without the camera's change.
TEST_F(PluginHostTest, ACameraChangePendingWhenASetArrivesIsPublishedFirst) {
    Start();
    WaitRecords(1);
    CameraParams expected = PlugAndConnect("Nikon Z8");
    ASSERT_EQ(expected.iso, "100");
    ASSERT_EQ(sim.SetSettleDelay(60000), 0);  // the sets' own events stay away
    sim.ClearReceived();
    const std::tuple<int32_t, const char*, const char*> rounds[] = {
        {560, "f/5.6", "200"}, {800, "f/8", "400"},   {1100, "f/11", "200"},
        {280, "f/2.8", "400"}, {450, "f/4.5", "200"}, {1000, "f/10", "400"}};
    for (const auto& [aperture, iris, iso] : rounds) {
        Settle(200);  // the worker idles in its event wait
        size_t before = RecordCount();
        ASSERT_EQ(sim.QueueInt32Event(11, aperture), 0);
        Request(CAMERA_SET_ISO_EVENT, iso);
        std::vector<Published> got = WaitRecords(before + 2);
        ASSERT_EQ(got.size(), before + 2) << iris;
        expected.iris = iris;
        EXPECT_EQ(Summary(got[before].params), Summary(expected)) << "first the camera's change alone";
        expected.iso = iso;
        EXPECT_EQ(Summary(got[before + 1].params), Summary(expected)) << "then the set on top of it";
        EXPECT_NE(got[before + 1].thread, std::this_thread::get_id());
    }
    Settle(300);
    EXPECT_EQ(RecordCount(), 2 + 2 * std::size(rounds));
    EXPECT_EQ(sim.Received().size(), std::size(rounds)) << "each set reached the camera";
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

// The three event-wait results that mean the camera is gone, and two that do not; then failed
// connections: reported on every third failure, time-outs at once. The plug-in leaves no
// descriptor open behind it.
TEST_F(PluginLoopTest, FaultsAreReportedAsPromisedAndRecovered) {
    const size_t descriptors = OpenDescriptors();
    Start();
    CameraParams expected = PlugAndConnect();
    const size_t from = RecordCount();
    int iso = 6400;
    for (const auto& [code, loss] :
         {std::make_pair(GP_ERROR_IO_USB_FIND, true), std::make_pair(GP_ERROR_IO, true),
          std::make_pair(GP_ERROR_MODEL_NOT_FOUND, true), std::make_pair(GP_ERROR_CAMERA_BUSY, false),
          std::make_pair(GP_ERROR, false)}) {
        SCOPED_TRACE(code);
        size_t before = RecordCount();
        ASSERT_EQ(sim.FailEventWait(code, loss ? 1 : 3), 0);
        if (loss) {  // reported, then connected again with the camera's values
            std::vector<Published> got = WaitRecords(before + 2);
            ASSERT_EQ(got.size(), before + 2);
            EXPECT_EQ(got[before].params.connectState, 0);
            EXPECT_EQ(Summary(got[before + 1].params), Summary(expected));
        } else {  // nothing reported, and the next event is handled as usual
            expected.iso = std::to_string(iso);
            EXPECT_EQ(NextRecord([&] { return sim.QueueInt32Event(13, iso++); }).iso, expected.iso);
        }
    }
    Settle(300);
    EXPECT_EQ(RecordCount(), from + 3 * 2 + 2);
    EXPECT_EQ(log.Count(5, "====== 连接断开 ======="), 3);
    ASSERT_EQ(plugin->UnInit(), 0);

    // The camera is there before Init, whose own attempt uses up the first failure.
    for (const auto& [code, times, report] :
         {std::make_tuple(GP_ERROR, 7, "camera connected error!!"),
          std::make_tuple(GP_ERROR_TIMEOUT, 3, "camera connected timed out!!")}) {
        SCOPED_TRACE(report);
        ASSERT_EQ(sim.Plug(kSonyA7M3) + sim.FailConnect(code, times), 0);
        size_t before = RecordCount();
        Start();
        EXPECT_EQ(RecordCount(), before) << "a failed attempt in Init publishes nothing";
        ASSERT_GE(WaitState(before, 1, 8000), 0);
        EXPECT_EQ(States(before), (std::vector<int>{2, 2, 1}));
        EXPECT_EQ(log.Count(5, report), 2);
        ASSERT_EQ(plugin->UnInit(), 0);
    }
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// The host publishes three settings interleaved: as fast as it can, then a stop, which runs what
// is still queued and ends the camera and the record on the last value of each; and for a while,
// during which records keep coming and the camera follows.
TEST_F(PluginStopTest, AFloodEndsOnTheLastValuesAndAStreamIsFollowed) {
    const EventType types[] = {CAMERA_SET_ISO_EVENT, CAMERA_SET_IRIS_EVENT, CAMERA_SET_WHITE_BALANCE_EVENT};
    const Strings values[] = {{"100", "200", "400", "800", "1600", "3200", "6400", "12800", "250", "500"},
                              {"f/2.8", "f/5.6", "f/8", "f/11", "f/4.5"},
                              {"Daylight", "Shade", "Cloudy", "Tungsten"}};
    Strings last(3);  // iso, iris, white balance
    auto publish = [&](size_t i) {
        size_t s = i % 13 == 5 ? 2 : i % 7 == 3 ? 1 : 0;
        Request(types[s], last[s] = values[s][i % values[s].size()]);
    };
    Start();
    PlugAndConnect();
    for (size_t i = 0; i < 5000; ++i)
        publish(i);
    Request(CAMERA_SET_FOCUS_MODE_EVENT, "MF");
    Request(CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540));
    const auto stop = Clock::now();
    EXPECT_EQ(plugin->UnInit(), 0);
    EXPECT_LT(Clock::now() - stop, milliseconds(5000));
    EXPECT_EQ(sim.Received().back(), "kd_touch_focus=(240, 320)");
    EXPECT_EQ(Strings({sim.Value("iso").value_or(""), sim.Value("f-number").value_or(""),
                       sim.Value("whitebalance").value_or("")}),
              last);
    EXPECT_EQ(Strings({Last().iso, Last().iris, Last().whiteBalance, Last().focusMode}),
              Strings({last[0], last[1], last[2], "MF"}));
    size_t count = RecordCount();
    Settle(200);
    EXPECT_EQ(RecordCount(), count) << "nothing is published after UnInit returned";

    Start();
    // Requests keep coming until records came meanwhile: however slow the machine, a publish
    // returns at once and the worker publishes between its rounds.
    const auto start = Clock::now();
    Clock::duration slowest{};
    for (size_t i = 0; RecordCount() < count + 5 && Clock::now() - start < milliseconds(30000); ++i) {
        const auto before = Clock::now();
        publish(i);
        slowest = std::max(slowest, Clock::now() - before);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_LT(slowest, milliseconds(2000)) << "publishing blocks";
    EXPECT_GE(RecordCount(), count + 5) << "records published while the requests kept coming";
    // The camera lags the stream: the value it holds now may equal the last of the cycle, with
    // an older request still to run. A value of its own shows that the last request ran.
    Request(CAMERA_SET_ISO_EVENT, last[0] = "640");
    EXPECT_TRUE(Eventually([&] { return sim.Value("iso") == last[0]; }));
}

// The bus calls the callbacks of a publish from a copy taken when it began. A subscriber called
// before the plug-in holds that publish while the host unloads the plug-in; the plug-in's copied
// callback then runs against a deleted object unless it can tell.
TEST_F(PluginStopTest, ACallbackCopiedByAPublishInFlightDoesNotReachAnUnloadedPlugin) {
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    int owner = 0;
    bus->Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) {
                                              entered.set_value();
                                              released.wait_for(std::chrono::seconds(10));
                                          },
                                          &owner});
    ASSERT_EQ(sim.Plug(kSonyA7M3), 0);
    Start();
    std::thread host([&] { Request(CAMERA_SET_ISO_EVENT, "1600"); });
    EXPECT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    release.set_value();
    host.join();
    EXPECT_FALSE(Received("iso=1600")) << "published after the plug-in stopped";
    bus->UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);
}

// The same without holding anything: another thread publishes all the time while the plug-in is
// loaded, started, stopped and unloaded.
TEST_F(PluginStopTest, UnloadingWhileAnotherThreadPublishesIsSafe) {
    manager.UnLoadPlugin(plugin);
    plugin = nullptr;
    std::atomic<bool> stop{false};
    std::thread host([&] {
        for (int i = 0; !stop; ++i)
            Request(static_cast<EventType>(CAMERA_SET_FOCUS_MODE_EVENT + i % 7), std::to_string(i));
    });
    for (int round = 0; round < 20; ++round) {
        PluginInterface* p = manager.LoadPlugin(PLUGIN_LIBRARY);
        EXPECT_EQ(p != nullptr && p->Init(bus, nullptr) == 0, true);
        std::this_thread::sleep_for(milliseconds(10));
        manager.UnLoadPlugin(p);
    }
    stop = true;
    host.join();
    EXPECT_EQ(bus->m_subscribers.count(CAMERA_SET_ISO_EVENT), 0u);
}

// A white balance that cannot be read, on one body of each family: what the host receives while
// the fault lasts, and that the plug-in comes back once it is gone.
const char kFailedToGet[] = "Failed to Get";
const char kWb[] = "whitebalance";  // the name every body serves it under

struct Body {
    const char* profile;
    CameraType type;
    bool typelessPublishedEmpty;  // a value served as a section: published empty, or the read fails
};
const Body kBodies[] = {
    {"sony-a7m3", SonyA7M3, false}, {"canon-r6", CanonEosR6, false}, {"nikon-z8", NikonZ8, true}};
enum class Fault { Lookup, NoValue, Typeless };
const char* const kFaultNames[] = {"Lookup", "NoValue", "Typeless"};

void PrintTo(const Body& body, std::ostream* out) {
    *out << body.profile;
}

class FaultMatrixTest : public PluginHostTest, public ::testing::WithParamInterface<std::tuple<Body, Fault>> {
  protected:
    bool FailedGets(int atLeast) {
        return Eventually([&] { return log.Count(2, kFailedToGet) >= atLeast; }, 8000, 5);
    }
    int AskForAFullReRead() { return sim.QueueTextEvent(GP_EVENT_UNKNOWN, "PTP Property 5005 changed"); }
};

TEST_P(FaultMatrixTest, ReportsWhileItLastsAndRecovers) {
    const auto& [body, fault] = GetParam();
    ASSERT_EQ(sim.Plug(body.profile), 0) << sim.LastError();
    Start();  // connects during Init: the first record
    ASSERT_EQ(RecordCount(), 1u);
    const CameraParams connected = Last();
    EXPECT_EQ(connected.connectState, 1);
    EXPECT_EQ(connected.cameraType, body.type);

    // While connected (a re-read), across a reconnection, and once cleared.
    const bool fails = fault == Fault::Lookup || (fault == Fault::Typeless && !body.typelessPublishedEmpty);
    CameraParams emptyWb = connected;
    emptyWb.whiteBalance.clear();
    auto isEmptyWb = [&](const CameraParams& p) { return Summary(p) == Summary(emptyWb); };
    ASSERT_EQ(fault == Fault::Lookup
                  ? sim.FailLookup(kWb, GP_ERROR_NOT_SUPPORTED)
                  : sim.SetValueFault(kWb, fault == Fault::NoValue ? camsim::ValueFault::NoValue
                                                                   : camsim::ValueFault::Typeless),
              0);
    int failedGets = log.Count(2, kFailedToGet);
    ASSERT_EQ(AskForAFullReRead(), 0);
    if (fails) {
        ASSERT_TRUE(FailedGets(failedGets + 2)) << "the failed step and the whole re-read";
    } else {
        ASSERT_GE(WaitRecord(1, isEmptyWb), 0) << "the re-read publishes the unreadable value empty";
    }
    ASSERT_EQ(sim.Unplug(), 0);
    ASSERT_GE(WaitState(1, 0), 0);
    size_t beforeReplug = RecordCount();
    failedGets = log.Count(2, kFailedToGet);
    ASSERT_EQ(sim.Replug(), 0);
    if (fails) {  // the connection's read fails, and so does the one of every later pass
        ASSERT_TRUE(FailedGets(failedGets + 6));
        EXPECT_EQ(RecordCount(), beforeReplug) << "nothing is published while the values cannot be read";
    } else {
        ASSERT_GE(WaitRecord(beforeReplug, isEmptyWb), 0);
    }
    sim.ClearFaults();
    ASSERT_EQ(fails ? 0 : AskForAFullReRead(), 0);
    int recovered = WaitRecord(beforeReplug, [&](const CameraParams& p) { return p == connected; });
    ASSERT_GE(recovered, 0) << "the camera's values once the fault is cleared";
    EXPECT_EQ(static_cast<size_t>(recovered) + 1, RecordCount());
    EXPECT_EQ(States(), fails ? (std::vector<int>{1, 0, 1}) : (std::vector<int>{1, 1, 0, 1, 1}));
}

INSTANTIATE_TEST_SUITE_P(OneBodyPerFamily, FaultMatrixTest,
                         ::testing::Combine(::testing::ValuesIn(kBodies),
                                            ::testing::Values(Fault::Lookup, Fault::NoValue,
                                                              Fault::Typeless)),
                         [](const ::testing::TestParamInfo<std::tuple<Body, Fault>>& p) {
                             std::string name = std::get<0>(p.param).profile;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + "_" + kFaultNames[static_cast<int>(std::get<1>(p.param))];
                         });

}  // namespace
