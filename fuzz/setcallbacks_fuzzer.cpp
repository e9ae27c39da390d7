// The seven set requests (events 9001..9007) as a host publishes them on the real bus, to the
// plug-in running with a simulated camera behind the system's libgphoto2. The first byte picks
// the event, the rest is the payload: exactly that long, in a heap buffer of exactly that size
// with no NUL after it, freed as soon as Publish returns. So a callback that reads past the
// payload, or a task that keeps a pointer into it, is caught.
//
// A request of the right length becomes a task on the plug-in's worker thread. The harness
// then publishes a white-balance request with a fresh marker text and waits for the worker's
// "OnSetWhiteBalanceParam" log line with that text: tasks run in order, so the input's task
// has run on the camera before the next input starts, and a worker that stops taking tasks
// is reported. Every kInputsPerCamera such inputs the next camera model is plugged in turn
// (CAMCTRL_FUZZ_PROFILE=<profile> keeps one model, to replay a crash on it).
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "PluginInterface.h"
#include "VirtualEventBus.h"
#include "zrlog.h"

extern "C" PluginInterface* CreatePlugin(const char* path);

namespace {

using Clock = std::chrono::steady_clock;

struct Profile {
    const char* name;
    CameraType type;
};
const Profile kProfiles[] = {
    {"sony-a7m3", SonyA7M3},
    {"sony-fx3", SonyFX3},
    {"canon-r6m2", CanonEosR6M2},
    {"nikon-z8", NikonZ8},
};
constexpr int kInputsPerCamera = 200;
constexpr int kPayloadSize = 100;
constexpr auto kWorkerWait = std::chrono::seconds(20);  // libFuzzer's own limit is 25 s
const char kMarkerPrefix[] = "camctrl-fuzz-mark-";
const char kMarkerLine[] = "======= OnSetWhiteBalanceParam, value : ";

std::string g_dir;
std::unique_ptr<camsim::Simulator> g_sim;
std::shared_ptr<VirtualEventBus> g_bus;
PluginInterface* g_plugin = nullptr;
size_t g_profile = 0;
bool g_rotate = true;
int g_queuedInputs = 0;
unsigned long g_marker = 0;
bool g_switching = false;
int g_plugged = 0;

// What the host sees, filled on the worker thread.
std::mutex g_mutex;
std::condition_variable g_cv;
std::string g_lastMarker;               // the marker text of the last OnSetWhiteBalanceParam line
unsigned long g_whiteBalanceLines = 0;  // every OnSetWhiteBalanceParam line, marker or not
CameraParams g_last;
int g_records = 0;
int g_lostRecords = 0;  // records with the camera not connected while it stayed plugged

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "setcallbacks_fuzzer: %s\n", what.c_str());
    std::abort();
}

void LogHook(void*, const char*, const char*, int, int, const char* message) {
    const size_t n = sizeof(kMarkerLine) - 1;
    if (std::strncmp(message, kMarkerLine, n) != 0)
        return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        ++g_whiteBalanceLines;
        g_cv.notify_all();
    }
    // The marker text runs up to the first space; a fuzzed text without one is no marker.
    const char* text = message + n;
    const char* end = std::strchr(text, ' ');
    if (end == nullptr || std::strncmp(text, kMarkerPrefix, sizeof(kMarkerPrefix) - 1) != 0)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastMarker.assign(text, end);
    g_cv.notify_all();
}

void OnRecord(void* data, int length) {
    if (length != kCameraParamsWireSize || data == nullptr)
        Fail("a record of " + std::to_string(length) + " bytes");
    std::lock_guard<std::mutex> lock(g_mutex);
    g_last = *static_cast<CameraParams*>(data);
    ++g_records;
    if (g_last.connectState != 1 && !g_switching)
        ++g_lostRecords;
    g_cv.notify_all();
}

// Waits until the last record satisfies `done`.
bool WaitRecord(bool (*done)(const CameraParams&, CameraType), CameraType type) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_cv.wait_until(lock, Clock::now() + kWorkerWait,
                           [&] { return g_records > 0 && done(g_last, type); });
}

bool Connected(const CameraParams& p, CameraType type) {
    return p.connectState == 1 && p.cameraType == type;
}
bool Gone(const CameraParams& p, CameraType) {
    return p.connectState == 0;
}

void PlugNext(size_t index) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_switching = true;
    }
    if (g_plugin != nullptr) {
        if (g_sim->Unplug() != 0)
            Fail("unplug: " + g_sim->LastError());
        if (!WaitRecord(Gone, Unrecognized))
            Fail("no record of the camera's loss");
    }
    const Profile& p = kProfiles[index];
    if (g_sim->Plug(p.name) != 0)
        Fail(std::string("plug ") + p.name + ": " + g_sim->LastError());
    if (g_plugin != nullptr && !WaitRecord(Connected, p.type))
        Fail(std::string("no connected record for ") + p.name);
    g_profile = index;
    ++g_plugged;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_switching = false;
}

// A set request as a host publishes it: a 100-byte text buffer.
void PublishText(EventType type, const std::string& text) {
    std::vector<char> payload(kPayloadSize, '\0');
    std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size() - 1));
    g_bus->Publish(type, payload.data(), kPayloadSize);
}

// Returns once the worker has run every task queued before this call.
void WaitForWorker() {
    const std::string marker = kMarkerPrefix + std::to_string(++g_marker);
    PublishText(CAMERA_SET_WHITE_BALANCE_EVENT, marker);
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_cv.wait_until(lock, Clock::now() + kWorkerWait, [&] { return g_lastMarker == marker; }))
        Fail("the worker ran no task for 20 s (last record connectState " +
             std::to_string(g_last.connectState) + ")");
    if (g_lostRecords > 0)
        Fail("a set request lost the camera (connectState " + std::to_string(g_last.connectState) + ")");
}

void Stop() {
    std::fprintf(stderr, "setcallbacks_fuzzer: %d requests ran on the camera, %d cameras plugged\n",
                 g_queuedInputs, g_plugged);
    if (g_plugin != nullptr) {
        g_plugin->UnInit();
        delete g_plugin;
        g_plugin = nullptr;
    }
    zr_log_set_hook(nullptr, nullptr);
    g_bus.reset();
    g_sim.reset();
    if (!g_dir.empty()) {
        std::string cmd = "rm -rf '" + g_dir + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "setcallbacks_fuzzer: could not remove %s\n", g_dir.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZRLOG_LEVEL", "0", 1);  // the log hook still sees every line
    // Camera classes and the worker print trace lines to standard output.
    if (!std::freopen("/dev/null", "w", stdout))
        Fail("stdout");
    char templ[] = "/tmp/setcallbacks_fuzzer.XXXXXX";
    if (!mkdtemp(templ))
        Fail("mkdtemp");
    g_dir = templ;
    camsim::UseSimulatorDrivers(g_dir);
    // libgphoto2 loads and unloads the drivers again and again; every load registers the
    // destructors of their statics anew, and at exit those would run before Stop, under the
    // still running worker thread. Held here, the drivers are loaded once, their statics are
    // made during Init below, before Stop is registered, and so are destroyed after it.
    for (const char* lib : {"CAMLIBS=camsim.so", "IOLIBS=camsim-usb.so"}) {
        const std::string var(lib, std::strchr(lib, '='));
        const std::string path = std::string(std::getenv(var.c_str())) + "/" + (std::strchr(lib, '=') + 1);
        if (dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE) == nullptr)
            Fail("dlopen " + path + ": " + dlerror());
    }
    g_sim = std::make_unique<camsim::Simulator>(g_dir);
    size_t first = 0;
    if (const char* pinned = std::getenv("CAMCTRL_FUZZ_PROFILE")) {
        g_rotate = false;
        while (first < std::size(kProfiles) && std::strcmp(kProfiles[first].name, pinned) != 0)
            ++first;
        if (first == std::size(kProfiles))
            Fail(std::string("CAMCTRL_FUZZ_PROFILE: no profile ") + pinned);
    }
    PlugNext(first);

    zr_log_set_hook(LogHook, nullptr);
    g_bus = std::make_shared<VirtualEventBus>();
    g_bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT, {OnRecord, nullptr});
    // Created through the library's factory as a host does; connects on this thread.
    g_plugin = CreatePlugin(nullptr);
    if (g_plugin == nullptr || g_plugin->Init(g_bus, nullptr) != 0)
        Fail("plug-in Init");
    if (!WaitRecord(Connected, kProfiles[first].type))
        Fail("no connected record after Init");
    std::atexit(Stop);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const EventType type = static_cast<EventType>(CAMERA_SET_FOCUS_MODE_EVENT + data[0] % 7);
    const size_t length = size - 1;
    unsigned long whiteBalanceLines = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        whiteBalanceLines = g_whiteBalanceLines;
    }
    {
        std::unique_ptr<char[]> payload(new char[length]);
        if (length > 0)
            std::memcpy(payload.get(), data + 1, length);
        g_bus->Publish(type, payload.get(), static_cast<int>(length));
    }
    // Other lengths are dropped by the callback; nothing reaches the worker.
    if (length != kPayloadSize)
        return 0;
    if (type == CAMERA_SET_WHITE_BALANCE_EVENT) {
        // A waiting white-balance request takes the value of a newer one: the marker would
        // replace this input. Let its own task run first.
        std::unique_lock<std::mutex> lock(g_mutex);
        if (!g_cv.wait_until(lock, Clock::now() + kWorkerWait,
                             [&] { return g_whiteBalanceLines != whiteBalanceLines; }))
            Fail("the white-balance request did not run for 20 s");
    }
    WaitForWorker();
    if (++g_queuedInputs % kInputsPerCamera == 0 && g_rotate)
        PlugNext((g_profile + 1) % std::size(kProfiles));
    return 0;
}
