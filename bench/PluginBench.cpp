// Costs of the plug-in's hot paths: publishing a record, comparing records,
// and the whole road of a set request to the record that reports it.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "CamSim.h"
#include "CameraParams.h"
#include "PluginManager.h"
#include "SimTestDir.h"
#include "VirtualEventBus.h"

namespace {

CameraParams RealisticRecord() {
    CameraParams p;
    p.cameraType = SonyA7M3;
    p.connectState = 1;
    p.iso = "800";
    p.iris = "f/4";
    p.shutterSpeed = "1/250";
    p.mode = "M";
    p.whiteBalance = "Daylight";
    p.focusMode = "AF-S";
    for (int i = 0; i < 40; ++i)
        p.supportedIso.push_back(std::to_string(100 * (i + 1)));
    for (int i = 0; i < 60; ++i)
        p.supportedShutterSpeed.push_back("1/" + std::to_string(i + 1));
    for (int i = 0; i < 23; ++i)
        p.supportedIris.push_back("f/" + std::to_string(i + 1));
    p.supportedWhiteBalance = {"Automatic", "Daylight", "Shade", "Cloudy", "Tungsten", "Flash"};
    p.supportedFocusMode = {"AF-S", "AF-C", "DMF", "MF"};
    return p;
}

// Local delivery plus one datagram per remote name (range: number of names).
void BM_PublishRecord(benchmark::State& state) {
    VirtualEventBus bus;
    bus.m_udpSocket = zr_local_udp_open(nullptr);
    std::vector<int> listeners;
    for (int i = 0; i < state.range(0); ++i) {
        std::string name = "bench-" + std::to_string(::getpid()) + "-" + std::to_string(i);
        listeners.push_back(zr_local_udp_open(name.c_str()));
        bus.m_remoteNames.insert(name);
    }
    int delivered = 0;
    bus.Subscribe(CAMERA_PARAMS_NOTIFY_EVENT, {[&](void*, int) { ++delivered; }, &delivered});
    CameraParams record = RealisticRecord();
    char sink[512];
    for (auto _ : state) {
        bus.Publish(CAMERA_PARAMS_NOTIFY_EVENT, &record, kCameraParamsWireSize);
        for (int fd : listeners)
            benchmark::DoNotOptimize(recv(fd, sink, sizeof(sink), MSG_DONTWAIT));
    }
    benchmark::DoNotOptimize(delivered);
    for (int fd : listeners)
        ::close(fd);
    ::close(bus.m_udpSocket);
}
BENCHMARK(BM_PublishRecord)->Arg(0)->Arg(1)->Arg(4);

// The comparison every notification makes; equal records are the worst case.
void BM_CompareEqualRecords(benchmark::State& state) {
    CameraParams a = RealisticRecord();
    CameraParams b = RealisticRecord();
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}
BENCHMARK(BM_CompareEqualRecords);

// Host publishes 9002, the worker thread sets the simulated camera, the camera
// reports the new ISO and the record arrives: the latency the user sees.
void BM_SetIsoToRecord(benchmark::State& state) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    if (sim.Plug("Sony Alpha-A7 III (PC Control)") != 0) {
        state.SkipWithError(sim.LastError().c_str());
        return;
    }
    auto bus = std::make_shared<VirtualEventBus>();
    std::mutex mutex;
    std::condition_variable cv;
    std::string lastIso;
    bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT, {[&](void* data, int) {
                                                    std::lock_guard<std::mutex> lock(mutex);
                                                    lastIso = static_cast<CameraParams*>(data)->iso;
                                                    cv.notify_all();
                                                },
                                                &mutex});
    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(PLUGIN_LIBRARY);
    if (plugin == nullptr || plugin->Init(bus, nullptr) != 0) {
        state.SkipWithError("plug-in did not start");
        return;
    }
    const char* values[] = {"800", "1600"};
    int n = 0;
    for (auto _ : state) {
        const char* iso = values[n++ % 2];
        char payload[100] = {0};
        std::strncpy(payload, iso, sizeof(payload) - 1);
        auto start = std::chrono::steady_clock::now();
        bus->Publish(CAMERA_SET_ISO_EVENT, payload, sizeof(payload));
        std::unique_lock<std::mutex> lock(mutex);
        if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return lastIso == iso; })) {
            state.SkipWithError("no record with the new ISO");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_SetIsoToRecord)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
