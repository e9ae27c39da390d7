// The simulator's loading of profiles and state files from any bytes: as a profile that may
// inherit a base (read from disk, merged, checked) and as a state file. Whatever loads must
// save and load again to the same state, so a saved camera is never one that cannot be read.
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "CameraState.h"
#include "ProfileLoader.h"
#include "StateJson.h"
#include "StateStore.h"

namespace {

std::string g_dir;

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "sim_state_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string Saved(const camsim::CameraState& s) {
    return camsim::DumpJson(camsim::StateToJson(s), 1);
}

// Saves through the state directory and loads again: the same state, and loading never fails.
void RoundTrip(const camsim::CameraState& state) {
    camsim::StateStore store(g_dir);
    std::string error;
    if (store.Save(state, &error) != GP_OK)
        Fail("save", error);
    camsim::CameraState again;
    if (store.Load(&again, &error) != GP_OK)
        Fail("a saved state does not load", error);
    std::string first = Saved(state), second = Saved(again);
    if (first != second)
        Fail("the state changed in a save and load", first + "\n---\n" + second);
}

void RemoveDir() {
    for (const char* name : {"base-fuzz.json", "input.json", "state.json", "plug"})
        unlink((g_dir + "/" + name).c_str());
    rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char templ[] = "/tmp/sim_state_fuzzer.XXXXXX";
    if (!mkdtemp(templ))
        Fail("mkdtemp", templ);
    g_dir = templ;
    std::atexit(RemoveDir);
    // A base the input may inherit ("inherits": "base-fuzz").
    std::ofstream(g_dir + "/base-fuzz.json") << R"({"model": "Nikon Z8", "settle_ms": 3, "widgets": [
        {"name": "iso", "type": "radio", "value": "100", "choices": ["100", "200"],
         "event": {"type": 13, "encode": "int32"}},
        {"name": "r", "type": "range", "min": 0, "max": 10, "step": 0.5, "value": "2.5"},
        {"name": "t", "type": "toggle", "value": 1, "effects": {"1": {"iso": "200"}}}]})";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;

    // As a profile on disk, merged with what it inherits.
    const std::string path = g_dir + "/input.json";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    camsim::CameraState profile;
    int rc = camsim::LoadProfile(path, &profile, &error);
    if (rc == GP_OK)
        RoundTrip(profile);
    else if (error.empty())
        Fail("a refused profile without a reason", std::to_string(rc));

    // As a state file.
    nlohmann::json j;
    camsim::CameraState state;
    if (camsim::ParseJsonText(text, &j, &error) && camsim::StateFromJson(j, &state, &error))
        RoundTrip(state);
    return 0;
}
