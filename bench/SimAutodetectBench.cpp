// Cost of one libgphoto2 detection and of single widget access against the simulated camera.
#include <benchmark/benchmark.h>
#include <gphoto2/gphoto2.h>

#include "CamSim.h"
#include "SimTestDir.h"

namespace {

void DetectOnce(benchmark::State& state, bool plugged) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    if (sim.Plug("Sony Alpha-A7 III (PC Control)") != GP_OK) {
        state.SkipWithError(sim.LastError().c_str());
        return;
    }
    if (!plugged)
        sim.Unplug();
    GPContext* ctx = gp_context_new();
    CameraList* list = nullptr;
    gp_list_new(&list);
    for (auto _ : state) {
        gp_list_reset(list);
        int found = gp_camera_autodetect(list, ctx);
        if (found != (plugged ? 1 : 0))
            state.SkipWithError("unexpected detection result");
        benchmark::DoNotOptimize(found);
    }
    gp_list_unref(list);
    gp_context_unref(ctx);
}

void BM_AutodetectPlugged(benchmark::State& state) {
    DetectOnce(state, true);
}
void BM_AutodetectUnplugged(benchmark::State& state) {
    DetectOnce(state, false);
}

void BM_GetSingleConfig(benchmark::State& state) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    if (sim.Plug("Sony Alpha-A7 III (PC Control)") != GP_OK) {
        state.SkipWithError(sim.LastError().c_str());
        return;
    }
    GPContext* ctx = gp_context_new();
    Camera* camera = nullptr;
    gp_camera_new(&camera);
    for (auto _ : state) {
        CameraWidget* widget = nullptr;
        if (gp_camera_get_single_config(camera, "shutterspeed", &widget, ctx) != GP_OK) {
            state.SkipWithError("get_single_config failed");
            break;
        }
        gp_widget_unref(widget);
    }
    gp_camera_exit(camera, ctx);
    gp_camera_free(camera);
    gp_context_unref(ctx);
}

}  // namespace

BENCHMARK(BM_AutodetectPlugged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AutodetectUnplugged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetSingleConfig)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
