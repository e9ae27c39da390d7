// Cost of one call on the simulated camera before and after a flood of sets: every set is
// kept for `camsim received`, and that log must not make later calls slower.
#include <benchmark/benchmark.h>
#include <gphoto2/gphoto2.h>
#include <sys/stat.h>

#include <string>

#include "CamSim.h"
#include "SimTestDir.h"

namespace {

const char* const kIsoValues[] = {"100", "200"};

class OpenCamera {
  public:
    OpenCamera() : m_ctx(gp_context_new()) { gp_camera_new(&m_camera); }
    ~OpenCamera() {
        gp_camera_exit(m_camera, m_ctx);
        gp_camera_free(m_camera);
        gp_context_unref(m_ctx);
    }
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;

    int SetIso(const char* value) {
        CameraWidget* w = nullptr;
        int rc = gp_camera_get_single_config(m_camera, "iso", &w, m_ctx);
        if (rc != GP_OK)
            return rc;
        rc = gp_widget_set_value(w, value);
        if (rc == GP_OK)
            rc = gp_camera_set_single_config(m_camera, "iso", w, m_ctx);
        gp_widget_unref(w);
        return rc;
    }
    int GetShutter() {
        CameraWidget* w = nullptr;
        int rc = gp_camera_get_single_config(m_camera, "shutterspeed", &w, m_ctx);
        if (rc == GP_OK)
            gp_widget_unref(w);
        return rc;
    }

  private:
    GPContext* m_ctx;
    Camera* m_camera = nullptr;
};

double FileBytes(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}

// Arg: sets sent before the measured calls. The counters describe the state after the flood.
void Run(benchmark::State& state, bool measureSet) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    if (sim.Plug("Sony Alpha-A7 III (PC Control)") != GP_OK) {
        state.SkipWithError(sim.LastError().c_str());
        return;
    }
    OpenCamera camera;
    const int64_t flood = state.range(0);
    for (int64_t i = 0; i < flood; ++i) {
        if (camera.SetIso(kIsoValues[i % 2]) != GP_OK) {
            state.SkipWithError("a set of the flood failed");
            return;
        }
        if (i % 100 == 99)
            sim.ClearEvents();  // as a host would take them: only the received log grows
    }
    sim.ClearEvents();
    state.counters["state_json_bytes"] = FileBytes(dir.Path() + "/state.json");
    state.counters["received"] = static_cast<double>(sim.Received().size());
    int64_t n = flood;
    for (auto _ : state) {
        int rc = measureSet ? camera.SetIso(kIsoValues[n++ % 2]) : camera.GetShutter();
        if (rc != GP_OK) {
            state.SkipWithError("call failed");
            break;
        }
    }
}

void BM_SetAfterFlood(benchmark::State& state) {
    Run(state, true);
}
void BM_GetAfterFlood(benchmark::State& state) {
    Run(state, false);
}

}  // namespace

// Fixed iterations: the flood is set up once per run, not once per calibration round.
BENCHMARK(BM_SetAfterFlood)->Arg(0)->Arg(10000)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetAfterFlood)->Arg(0)->Arg(10000)->Iterations(300)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
