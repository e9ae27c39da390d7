// Every fault the simulated camera can show, on every body the plug-in has a class for, through
// the real plug-in and libgphoto2: what the host receives while the fault lasts, and that the
// plug-in comes back once it is gone. Each combination is its own test case, so ctest spreads
// them; they wait on records and log lines, never on fixed sleeps.
#include <dirent.h>
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
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "LogCapture.h"
#include "PluginManager.h"
#include "SimTestDir.h"
#include "VirtualEventBus.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kFailedToGet[] = "Failed to Get";
const char kSetRefused[] = "Failed to gp_camera_set_single_config";
const char kLoss[] = "====== 连接断开 =======";
const char kConnectError[] = "camera connected error!!";
const char kConnectTimedOut[] = "camera connected timed out!!";
// Every body serves its white balance under this name.
const char kWhiteBalance[] = "whitebalance";
// An ISO the camera reports by event after the failed waits.
const char kReportedIso[] = "51200";

// What a white-balance read makes of a value the camera serves without one: the whole
// re-read fails, or the record goes out with an empty white balance.
enum class UnreadWb { ReadFails, PublishedEmpty };

struct Body {
    const char* profile;
    CameraType type;
    UnreadWb typeless;  // the widget comes as a section: its value cannot be read at all
};

// clang-format off
const Body kBodies[] = {
    {"sony-a7m3",    SonyA7M3,     UnreadWb::ReadFails},
    {"sony-a7m4",    SonyA7M4,     UnreadWb::ReadFails},
    {"sony-a7s3",    SonyA7S3,     UnreadWb::ReadFails},
    {"sony-zve10",   SonyZVE10,    UnreadWb::ReadFails},
    {"sony-fx3",     SonyFX3,      UnreadWb::ReadFails},
    {"sony-fx3a",    SonyFX3A,     UnreadWb::ReadFails},
    {"sony-fx30",    SonyFX30,     UnreadWb::ReadFails},
    {"sony-zve10m2", SonyZVE10M2,  UnreadWb::ReadFails},
    {"canon-r6",     CanonEosR6,   UnreadWb::ReadFails},
    {"canon-r6m2",   CanonEosR6M2, UnreadWb::ReadFails},
    {"canon-rp",     CanonEosRP,   UnreadWb::ReadFails},
    {"nikon-z8",     NikonZ8,      UnreadWb::PublishedEmpty},
    {"nikon-z9",     NikonZ9,      UnreadWb::PublishedEmpty},
};
// clang-format on

enum class Fault {
    Lookup,         // the white-balance widget cannot be looked up
    NoValue,        // it is served without a value
    Typeless,       // it is served as a section
    RefusedSet,     // the camera refuses a white-balance set
    LossIo,         // the event wait reports the camera gone: -7
    LossUsbFind,    // -52
    LossNoModel,    // -105
    WaitBusy,       // the event wait fails with a code that is no loss: -110
    ConnectError,   // opening the camera fails: -1, six times
    ConnectTimeOut  // opening the camera times out: -10, twice
};

const Fault kFaults[] = {Fault::Lookup,       Fault::NoValue,       Fault::Typeless,    Fault::RefusedSet,
                         Fault::LossIo,       Fault::LossUsbFind,   Fault::LossNoModel, Fault::WaitBusy,
                         Fault::ConnectError, Fault::ConnectTimeOut};

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::Lookup:
            return "Lookup";
        case Fault::NoValue:
            return "NoValue";
        case Fault::Typeless:
            return "Typeless";
        case Fault::RefusedSet:
            return "RefusedSet";
        case Fault::LossIo:
            return "LossIo";
        case Fault::LossUsbFind:
            return "LossUsbFind";
        case Fault::LossNoModel:
            return "LossNoModel";
        case Fault::WaitBusy:
            return "WaitBusy";
        case Fault::ConnectError:
            return "ConnectError";
        case Fault::ConnectTimeOut:
            return "ConnectTimeOut";
    }
    return "?";
}

void PrintTo(const Body& body, std::ostream* out) {
    *out << body.profile;
}
void PrintTo(Fault fault, std::ostream* out) {
    *out << FaultName(fault);
}

// The fields the host reads, without the lists of offered values.
std::vector<std::string> MainFields(const CameraParams& p) {
    return {std::to_string(p.cameraType),
            std::to_string(p.connectState),
            std::to_string(p.recordEnable),
            p.mode,
            p.focusMode,
            p.iso,
            p.iris,
            p.shutterSpeed,
            p.whiteBalance};
}

// Connection states of the records, with each run of 0s (the loss and the first absent pass
// may both report it) counted once.
std::vector<int> States(const std::vector<CameraParams>& records) {
    std::vector<int> out;
    for (const CameraParams& p : records) {
        if (p.connectState == 0 && !out.empty() && out.back() == 0)
            continue;
        out.push_back(p.connectState);
    }
    return out;
}

int OpenDescriptors() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    while (dirent* e = readdir(dir))
        n += e->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
    return n - 1;  // the directory's own
}

class FaultMatrixTest : public ::testing::TestWithParam<std::tuple<Body, Fault>> {
  protected:
    void SetUp() override {
        descriptorsBefore = OpenDescriptors();
        bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT, {[this](void* data, int length) {
                                                        EXPECT_EQ(length, 232);
                                                        std::lock_guard<std::mutex> lock(mutex);
                                                        records.push_back(*static_cast<CameraParams*>(data));
                                                        cv.notify_all();
                                                    },
                                                    this});
        plugin = manager.LoadPlugin(PLUGIN_LIBRARY);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override { Stop(); }

    void Stop() {
        if (plugin != nullptr)
            manager.UnLoadPlugin(plugin);
        plugin = nullptr;
    }

    const Body& body() const { return std::get<0>(GetParam()); }
    Fault fault() const { return std::get<1>(GetParam()); }

    // Plugs the body and starts the plug-in, which connects during Init: the first record.
    CameraParams StartConnected() {
        EXPECT_EQ(sim.Plug(body().profile), 0) << sim.LastError();
        EXPECT_EQ(plugin->Init(bus, nullptr), 0);
        std::vector<CameraParams> got = WaitRecords(1);
        if (got.empty()) {
            ADD_FAILURE() << "no record after Init";
            return CameraParams();
        }
        EXPECT_EQ(got[0].connectState, 1);
        EXPECT_EQ(got[0].cameraType, body().type);
        return got[0];
    }

    std::vector<CameraParams> Records() {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }
    std::vector<CameraParams> WaitRecords(size_t n, int timeoutMs = 8000) {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait_for(lock, milliseconds(timeoutMs), [&] { return records.size() >= n; });
        return records;
    }
    // Waits for a record after the first `after` that satisfies the condition; its index.
    size_t WaitRecord(size_t after, const std::function<bool(const CameraParams&)>& condition,
                      int timeoutMs = 8000) {
        std::unique_lock<std::mutex> lock(mutex);
        size_t found = SIZE_MAX;
        cv.wait_for(lock, milliseconds(timeoutMs), [&] {
            for (size_t i = after; i < records.size(); ++i) {
                if (condition(records[i])) {
                    found = i;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    size_t WaitState(size_t after, int state) {
        return WaitRecord(after, [state](const CameraParams& p) { return p.connectState == state; });
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return records.size();
    }

    bool WaitLog(int level, const std::string& message, int atLeast, int timeoutMs = 8000) {
        auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (log.Count(level, message) < atLeast) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return true;
    }

    void Request(EventType type, const std::string& text) {
        std::vector<char> payload(100, '\0');
        std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size() - 1));
        bus->Publish(type, payload.data(), 100);
    }

    // Asks for a full re-read, as a camera does with a property it has no event of its own for.
    void ReportUnknownChange() {
        ASSERT_EQ(sim.QueueTextEvent(GP_EVENT_UNKNOWN, "PTP Property 5005 changed"), 0) << sim.LastError();
    }

    void ApplyWidgetFault() {
        switch (fault()) {
            case Fault::Lookup:
                ASSERT_EQ(sim.FailLookup(kWhiteBalance, GP_ERROR_NOT_SUPPORTED), 0) << sim.LastError();
                break;
            case Fault::NoValue:
                ASSERT_EQ(sim.SetValueFault(kWhiteBalance, camsim::ValueFault::NoValue), 0)
                    << sim.LastError();
                break;
            case Fault::Typeless:
                ASSERT_EQ(sim.SetValueFault(kWhiteBalance, camsim::ValueFault::Typeless), 0)
                    << sim.LastError();
                break;
            default:
                FAIL() << "no widget fault";
        }
    }
    UnreadWb Outcome() const {
        switch (fault()) {
            case Fault::Lookup:
                return UnreadWb::ReadFails;
            case Fault::NoValue:
                return UnreadWb::PublishedEmpty;
            default:
                return body().typeless;
        }
    }

    void RunWidgetFault();
    void RunRefusedSet();
    void RunLoss(int code);
    void RunWaitBusy();
    void RunConnectFailure(int code, int times, const char* report);

    int descriptorsBefore = 0;
    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    LogCapture log;
    PluginManager manager;
    PluginInterface* plugin = nullptr;

    std::mutex mutex;
    std::condition_variable cv;
    std::vector<CameraParams> records;
};

// A white-balance widget that cannot be read: while connected (a re-read), across a reconnection,
// and after the fault is cleared.
void FaultMatrixTest::RunWidgetFault() {
    const CameraParams connected = StartConnected();
    CameraParams emptyWb = connected;
    emptyWb.whiteBalance.clear();
    const bool fails = Outcome() == UnreadWb::ReadFails;
    auto isEmptyWb = [&](const CameraParams& p) { return MainFields(p) == MainFields(emptyWb); };

    ApplyWidgetFault();
    int failedGets = log.Count(2, kFailedToGet);
    ReportUnknownChange();
    if (fails) {
        ASSERT_TRUE(WaitLog(2, kFailedToGet, failedGets + 2)) << "the failed step and the whole re-read";
    } else {
        ASSERT_NE(WaitRecord(1, isEmptyWb), SIZE_MAX) << "the re-read publishes the unreadable value empty";
    }

    // Unplugged and back with the fault still there.
    ASSERT_EQ(sim.Unplug(), 0);
    ASSERT_NE(WaitState(1, 0), SIZE_MAX);
    size_t beforeReplug = Count();
    failedGets = log.Count(2, kFailedToGet);
    ASSERT_EQ(sim.Replug(), 0);
    if (fails) {
        // The connection's read fails, and so does the one of every later pass.
        ASSERT_TRUE(WaitLog(2, kFailedToGet, failedGets + 6));
        EXPECT_EQ(Count(), beforeReplug) << "nothing is published while the values cannot be read";
    } else {
        ASSERT_NE(WaitRecord(beforeReplug, isEmptyWb), SIZE_MAX);
    }

    sim.ClearFaults();
    if (!fails)
        ReportUnknownChange();
    size_t recovered = WaitRecord(
        beforeReplug, [&](const CameraParams& p) { return p.connectState == 1 && p == connected; });
    ASSERT_NE(recovered, SIZE_MAX) << "the camera's values once the fault is cleared";
    EXPECT_EQ(recovered + 1, Count());

    std::vector<CameraParams> got = Records();
    EXPECT_EQ(States(got), fails ? (std::vector<int>{1, 0, 1}) : (std::vector<int>{1, 1, 0, 1, 1}));
}

// A white-balance set the camera refuses: logged, nothing published, the value stays; the
// same set goes through once the camera takes it again.
void FaultMatrixTest::RunRefusedSet() {
    const CameraParams connected = StartConnected();
    const std::string current = sim.Value(kWhiteBalance).value_or("");
    std::vector<std::string> choices = sim.Choices(kWhiteBalance);
    auto other = std::find_if(choices.begin(), choices.end(),
                              [&](const std::string& c) { return c != current && !c.empty(); });
    ASSERT_NE(other, choices.end()) << "a second white balance to set";
    const std::string target = *other;

    ASSERT_EQ(sim.FailSet(kWhiteBalance, GP_ERROR), 0) << sim.LastError();
    sim.ClearReceived();
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, target);
    ASSERT_TRUE(WaitLog(2, kSetRefused, 1));
    EXPECT_EQ(sim.Received(), std::vector<std::string>{std::string(kWhiteBalance) + "=" + target});
    EXPECT_EQ(sim.Value(kWhiteBalance).value_or("?"), current);

    sim.ClearFaults();
    Request(CAMERA_SET_WHITE_BALANCE_EVENT, target);
    std::vector<CameraParams> got = WaitRecords(2);
    ASSERT_GE(got.size(), 2u) << "the accepted set is published";
    CameraParams expected = connected;
    expected.whiteBalance = target;
    EXPECT_EQ(MainFields(got[1]), MainFields(expected)) << "the first record after the refusal is the set's";
    EXPECT_EQ(sim.Value(kWhiteBalance).value_or("?"), target);
    EXPECT_EQ(log.Count(2, kSetRefused), 1);
}

// The event wait reports the camera gone while it is still there: reported as lost, then
// connected again with the same values.
void FaultMatrixTest::RunLoss(int code) {
    const CameraParams connected = StartConnected();
    ASSERT_EQ(sim.FailEventWait(code, 1), 0) << sim.LastError();
    std::vector<CameraParams> got = WaitRecords(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].connectState, 0);
    EXPECT_TRUE(got[2] == connected) << "connected again with the camera's values";
    EXPECT_EQ(got[2].connectState, 1);
    EXPECT_EQ(log.Count(5, kLoss), 1);
}

// Other failures of the event wait are no loss: nothing is reported, and the next event is
// handled as usual.
void FaultMatrixTest::RunWaitBusy() {
    const CameraParams connected = StartConnected();
    ASSERT_NE(connected.iso, kReportedIso);
    ASSERT_EQ(sim.FailEventWait(GP_ERROR_CAMERA_BUSY, 3), 0) << sim.LastError();
    ASSERT_EQ(sim.QueueInt32Event(13, std::stoi(kReportedIso)), 0) << sim.LastError();
    std::vector<CameraParams> got = WaitRecords(2);
    ASSERT_EQ(got.size(), 2u);
    CameraParams expected = connected;
    expected.iso = kReportedIso;
    EXPECT_TRUE(got[1] == expected);
    EXPECT_EQ(got[1].connectState, 1);
    EXPECT_EQ(log.Count(5, kLoss), 0);
    EXPECT_EQ(sim.PendingEvents(), 0u);
}

// The camera comes back but cannot be opened for a while: reported as the loop promises,
// then connected with the camera's values.
void FaultMatrixTest::RunConnectFailure(int code, int times, const char* report) {
    const CameraParams connected = StartConnected();
    ASSERT_EQ(sim.Unplug(), 0);
    ASSERT_NE(WaitState(1, 0), SIZE_MAX);
    ASSERT_EQ(sim.FailConnect(code, times), 0) << sim.LastError();
    ASSERT_EQ(sim.Replug(), 0);
    size_t recovered = WaitState(2, 1);
    ASSERT_NE(recovered, SIZE_MAX);
    std::vector<CameraParams> got = Records();
    EXPECT_TRUE(got[recovered] == connected) << "connected again with the camera's values";
    const int reports = code == GP_ERROR_TIMEOUT ? times : times / 3;
    std::vector<int> expected = {1, 0};
    expected.insert(expected.end(), static_cast<size_t>(reports), 2);
    expected.push_back(1);
    EXPECT_EQ(States(got), expected);
    EXPECT_EQ(log.Count(5, report), reports);
}

TEST_P(FaultMatrixTest, ReportsWhileItLastsAndRecovers) {
    switch (fault()) {
        case Fault::Lookup:
        case Fault::NoValue:
        case Fault::Typeless:
            RunWidgetFault();
            break;
        case Fault::RefusedSet:
            RunRefusedSet();
            break;
        case Fault::LossIo:
            RunLoss(GP_ERROR_IO);
            break;
        case Fault::LossUsbFind:
            RunLoss(GP_ERROR_IO_USB_FIND);
            break;
        case Fault::LossNoModel:
            RunLoss(GP_ERROR_MODEL_NOT_FOUND);
            break;
        case Fault::WaitBusy:
            RunWaitBusy();
            break;
        case Fault::ConnectError:
            RunConnectFailure(GP_ERROR, 6, kConnectError);
            break;
        case Fault::ConnectTimeOut:
            RunConnectFailure(GP_ERROR_TIMEOUT, 2, kConnectTimedOut);
            break;
    }
    // Whatever happened, the plug-in stops and leaves no descriptor open behind it.
    Stop();
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Body, Fault>>& info) {
    std::string name =
        std::string(std::get<0>(info.param).profile) + "_" + FaultName(std::get<1>(info.param));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryBodyEveryFault, FaultMatrixTest,
                         ::testing::Combine(::testing::ValuesIn(kBodies), ::testing::ValuesIn(kFaults)),
                         CaseName);

}  // namespace
