// The time from the host's publish of a set request to the record that carries the camera's
// new value, through the real plug-in loaded as camera-host loads it, against the simulated
// camera already plugged in the given state directory (scripts/bench-set-latency.sh plugs it
// and sets its latency). Prints one sample in milliseconds per line.
//
//   set_latency_bench --state-dir DIR --setting iso|iris|wb|shutter --values V1,V2,...
//                     [--changes N] [--pause-max MS] [--seed S] [--plugin LIBRARY]
//                     [--ptp CAMLIBS]
//
// Before each request it pauses a random 0..MS milliseconds (0: none, the next request follows
// the record at once), so that requests meet the worker anywhere in its loop. --plugin loads
// another build of the plug-in (an earlier version, say) instead of this build's. --ptp drives the
// body at the USB wire with the camera drivers of directory CAMLIBS (Debian's ptp2, say).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "PluginManager.h"
#include "VirtualEventBus.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Setting {
    const char* name;
    EventType request;
    std::string CameraParams::*field;
};

const Setting kSettings[] = {
    {"iso", CAMERA_SET_ISO_EVENT, &CameraParams::iso},
    {"iris", CAMERA_SET_IRIS_EVENT, &CameraParams::iris},
    {"wb", CAMERA_SET_WHITE_BALANCE_EVENT, &CameraParams::whiteBalance},
    {"shutter", CAMERA_SET_SHUTTER_SPEED_EVENT, &CameraParams::shutterSpeed},
};

struct Options {
    std::string stateDir;
    std::string plugin = PLUGIN_LIBRARY;
    std::string ptpCamlibs;  // empty: the camera-library simulator
    const Setting* setting = nullptr;
    std::vector<std::string> values;
    int changes = 100;
    int pauseMaxMs = 0;
    unsigned seed = 1;
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        if (comma > start)
            out.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i], value = argv[i + 1];
        if (key == "--state-dir") {
            o->stateDir = value;
        } else if (key == "--setting") {
            for (const Setting& s : kSettings) {
                if (value == s.name)
                    o->setting = &s;
            }
        } else if (key == "--values") {
            o->values = Split(value);
        } else if (key == "--changes") {
            o->changes = std::atoi(value.c_str());
        } else if (key == "--pause-max") {
            o->pauseMaxMs = std::atoi(value.c_str());
        } else if (key == "--plugin") {
            o->plugin = value;
        } else if (key == "--ptp") {
            o->ptpCamlibs = value;
        } else if (key == "--seed") {
            o->seed = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !o->stateDir.empty() && o->setting && o->values.size() >= 2 && o->changes > 0 &&
           o->pauseMaxMs >= 0;
}

// The records the plug-in publishes, as the host's subscriber sees them.
class RecordWatch {
  public:
    void OnRecord(const CameraParams& p) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_last = p;
        ++m_count;
        m_cv.notify_all();
    }
    // Waits until a record satisfies done; false after timeoutMs.
    template <typename Done>
    bool WaitFor(Done done, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return m_count > 0 && done(m_last); });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    CameraParams m_last;
    long m_count = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fprintf(
            stderr,
            "usage: set_latency_bench --state-dir DIR --setting iso|iris|wb|shutter --values V1,V2,...\n"
            "                         [--changes N] [--pause-max MS] [--seed S] [--plugin LIBRARY]\n"
            "                         [--ptp CAMLIBS]\n");
        return 2;
    }
    if (o.ptpCamlibs.empty())
        camsim::UseSimulatorDrivers(o.stateDir);
    else
        camsim::UsePtpDrivers(o.ptpCamlibs, o.stateDir);
    auto bus = std::make_shared<VirtualEventBus>();
    RecordWatch watch;
    bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                   {[&](void* data, int) { watch.OnRecord(*static_cast<CameraParams*>(data)); }, &watch});
    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(o.plugin.c_str());
    if (plugin == nullptr || plugin->Init(bus, nullptr) != 0) {
        std::fprintf(stderr, "set_latency_bench: the plug-in did not start\n");
        return 1;
    }
    int status = 0;
    if (!watch.WaitFor([](const CameraParams& p) { return p.connectState == 1; }, 30000)) {
        std::fprintf(stderr, "set_latency_bench: the camera did not connect\n");
        status = 1;
    }
    std::mt19937 random(o.seed);
    std::uniform_int_distribution<int> pause(0, o.pauseMaxMs);
    for (int i = 0; status == 0 && i < o.changes; ++i) {
        const std::string& value = o.values[static_cast<size_t>(i) % o.values.size()];
        if (o.pauseMaxMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        char payload[100] = {0};
        std::strncpy(payload, value.c_str(), sizeof(payload) - 1);
        auto start = Clock::now();
        bus->Publish(o.setting->request, payload, sizeof(payload));
        auto field = o.setting->field;
        if (!watch.WaitFor([&](const CameraParams& p) { return p.*field == value; }, 10000)) {
            std::fprintf(stderr, "set_latency_bench: no record with %s %s\n", o.setting->name, value.c_str());
            status = 1;
            break;
        }
        std::chrono::duration<double, std::milli> took = Clock::now() - start;
        std::printf("%.3f\n", took.count());
        std::fflush(stdout);
    }
    plugin->UnInit();
    manager.UnLoadPlugin(plugin);
    return status;
}
