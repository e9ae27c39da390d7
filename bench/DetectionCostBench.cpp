// What one camera detection costs with the drivers this process finds (run it with CAMLIBS
// and IOLIBS unset for the system's full set), piece by piece, and what the plug-in's
// CameraDetector costs when nothing changed. Under with-private-usb-devfs the detector can
// watch /dev/bus/usb and skips detection; without it, it detects every time but keeps the
// drivers' model lists.
#include <benchmark/benchmark.h>
#include <gphoto2/gphoto2.h>

#include "CameraDetector.h"

namespace {

void BM_Autodetect(benchmark::State& state) {
    for (auto _ : state) {
        CameraList* list = nullptr;
        gp_list_new(&list);
        benchmark::DoNotOptimize(gp_camera_autodetect(list, nullptr));
        gp_list_unref(list);
    }
}

void BM_AbilitiesListLoad(benchmark::State& state) {
    int models = 0;
    for (auto _ : state) {
        CameraAbilitiesList* abilities = nullptr;
        gp_abilities_list_new(&abilities);
        gp_abilities_list_load(abilities, nullptr);
        models = gp_abilities_list_count(abilities);
        gp_abilities_list_free(abilities);
    }
    state.counters["models"] = models;
}

void BM_PortInfoListLoad(benchmark::State& state) {
    for (auto _ : state) {
        GPPortInfoList* ports = nullptr;
        gp_port_info_list_new(&ports);
        benchmark::DoNotOptimize(gp_port_info_list_load(ports));
        gp_port_info_list_free(ports);
    }
}

// Matching only: both lists loaded once.
void BM_AbilitiesListDetect(benchmark::State& state) {
    CameraAbilitiesList* abilities = nullptr;
    GPPortInfoList* ports = nullptr;
    gp_abilities_list_new(&abilities);
    gp_abilities_list_load(abilities, nullptr);
    gp_port_info_list_new(&ports);
    gp_port_info_list_load(ports);
    for (auto _ : state) {
        CameraList* list = nullptr;
        gp_list_new(&list);
        benchmark::DoNotOptimize(gp_abilities_list_detect(abilities, ports, list, nullptr));
        gp_list_unref(list);
    }
    gp_port_info_list_free(ports);
    gp_abilities_list_free(abilities);
}

// One poll pass's detection while nothing happens on the bus.
void BM_CameraDetectorIdle(benchmark::State& state) {
    CameraDetector detector;
    CameraList* list = nullptr;
    gp_list_new(&list);
    detector.Detect(list, nullptr);  // the first one always detects
    for (auto _ : state) {
        gp_list_reset(list);
        benchmark::DoNotOptimize(detector.Detect(list, nullptr));
    }
    gp_list_unref(list);
}

}  // namespace

BENCHMARK(BM_Autodetect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbilitiesListLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PortInfoListLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbilitiesListDetect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CameraDetectorIdle)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
