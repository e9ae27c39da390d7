// Camera events 0 and 10..17 as the worker thread decodes them into the record, with blocks of
// the driver's sizes and any contents, for every camera model (and none). Each block is
// allocated at exactly the driver's size, so a read past it is caught. Besides the sanitizers,
// every event may change only its own field, in the way its type says.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "CameraEventDecoder.h"
#include "CameraFactory.h"
#include "CanonEosR6M2Camera.h"

namespace {

using Outcome = CameraEventDecoder::Outcome;

// Types 0 and 10..17 with the size of the block the driver sends (0: any size).
struct EventKind {
    int type;
    size_t size;
};
const EventKind kKinds[] = {{0, 0}, {10, 24}, {11, 4}, {12, 4}, {13, 4}, {14, 0}, {15, 4}, {16, 8}, {17, 2}};
constexpr int kModelTypes = 15;  // CameraType 0..14; 0 and types without a class: no camera object
// The model string the driver reports for each type; 12 has none and is made as an R6 Mark II.
const char* const kModels[kModelTypes] = {nullptr,
                                          "Sony Alpha-A7 III (PC Control)",
                                          "Sony Alpha-A7 IV (PC Control)",
                                          "Sony DSC-A7S III (Control)",
                                          "Sony ZV-E10 (Control)",
                                          "Sony ILME-FX3 (PC Control)",
                                          "Sony ILME-FX3A (PC Control)",
                                          "Sony ILME-FX30 (PC Control)",
                                          "Sony ZV-E10M2 (Control)",
                                          "Canon EOS R6",
                                          "Canon EOS R6m2",
                                          "Canon EOS RP",
                                          nullptr,
                                          "Nikon Z8",
                                          "Nikon Z9"};
constexpr int kMaxEvents = 32;

std::unique_ptr<AbstructCamera> g_cameras[kModelTypes];

[[noreturn]] void Fail(const char* what, int type, const CameraParams& p) {
    std::fprintf(stderr,
                 "cameraevent_fuzzer: event %d: %s (record=%d focus=%s iso=%s iris=%s shutter=%s mode=%s "
                 "wb=%s)\n",
                 type, what, p.recordEnable, p.focusMode.c_str(), p.iso.c_str(), p.iris.c_str(),
                 p.shutterSpeed.c_str(), p.mode.c_str(), p.whiteBalance.c_str());
    std::abort();
}

int32_t Int32At(const uint8_t* block, size_t offset) {
    int32_t v;
    std::memcpy(&v, block + offset, sizeof v);
    return v;
}

// The record with one string field replaced by that of another.
CameraParams WithField(CameraParams base, const CameraParams& from, std::string CameraParams::*field) {
    base.*field = from.*field;
    return base;
}

void CheckOne(int type, const uint8_t* block, bool hasCamera, Outcome outcome, const CameraParams& before,
              const CameraParams& after) {
    auto only = [&](std::string CameraParams::*field) {
        if (!(WithField(before, after, field) == after))
            Fail("a field of another event changed", type, after);
    };
    switch (type) {
        case 0:
            if (outcome != Outcome::ReadAll || !(after == before))
                Fail("not a full re-read with the record untouched", type, after);
            return;
        case 10: {
            int32_t state = Int32At(block, 20);
            CameraParams expected = before;
            if (state == 0 || state == 1)
                expected.recordEnable = state == 1;
            Outcome want = (state == 0 || state == 1) ? Outcome::RecordState : Outcome::Nothing;
            if (outcome != want || !(after == expected))
                Fail("recording state not taken from byte 20", type, after);
            return;
        }
        case 11: {
            only(&CameraParams::iris);
            const std::string& text = after.iris;
            if (outcome != Outcome::Changed || text.size() > 19 || text.compare(0, 2, "f/") != 0)
                Fail("iris text not f/<number> within 19 characters", type, after);
            char* end = nullptr;
            double shown = std::strtod(text.c_str() + 2, &end);
            if (*end != '\0' || std::fabs(shown - Int32At(block, 0) / 100.0) > 0.0501)
                Fail("iris text does not show the value", type, after);
            return;
        }
        case 13: {
            only(&CameraParams::iso);
            uint32_t iso;
            std::memcpy(&iso, block, sizeof iso);
            if (outcome != Outcome::Changed || after.iso != std::to_string(iso))
                Fail("iso not the unsigned value", type, after);
            return;
        }
        case 12:
        case 15:
        case 16:
        case 17: {
            std::string CameraParams::*field = type == 12   ? &CameraParams::whiteBalance
                                               : type == 15 ? &CameraParams::focusMode
                                               : type == 16 ? &CameraParams::shutterSpeed
                                                            : &CameraParams::mode;
            only(field);
            if (!hasCamera && (outcome != Outcome::Nothing || !(after == before)))
                Fail("a model's code translated without a camera object", type, after);
            if (outcome == Outcome::Nothing && !(after == before))
                Fail("changed but reported nothing", type, after);
            if (type != 12 && outcome != Outcome::Nothing && (after.*field).empty())
                Fail("an empty text taken", type, after);
            // A mode asks for what depends on it to be read again.
            const Outcome found = type == 17 ? Outcome::ModeChanged : Outcome::Changed;
            if (outcome != Outcome::Nothing && outcome != found)
                Fail("an outcome of another event", type, after);
            return;
        }
        default:
            if (outcome != Outcome::Nothing || !(after == before))
                Fail("an ignored event changed the record", type, after);
            return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZRLOG_LEVEL", "0", 1);  // one log line per iris event
    // The worker's trace lines for focus, shutter and mode events go to standard output.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    CameraFactory factory;
    for (int t = 0; t < kModelTypes; ++t) {
        if (kModels[t] != nullptr)
            g_cameras[t] = factory.CreateCamera(kModels[t], nullptr, nullptr);
    }
    g_cameras[CanonEosR6M2Alt] = std::make_unique<CanonEosR6M2Camera>(nullptr, nullptr, CanonEosR6M2Alt);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    AbstructCamera* camera = g_cameras[in.ConsumeIntegralInRange<int>(0, kModelTypes - 1)].get();
    CameraParams params;
    for (int n = 0; n < kMaxEvents && in.remaining_bytes() > 0; ++n) {
        const EventKind& kind = kKinds[in.ConsumeIntegralInRange<size_t>(0, std::size(kKinds) - 1)];
        size_t blockSize = kind.size != 0 ? kind.size : in.ConsumeIntegralInRange<size_t>(1, 64);
        std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(blockSize);
        if (bytes.size() < blockSize)
            break;
        // Exactly the block's size, as the driver allocates it.
        std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
        std::memcpy(block.get(), bytes.data(), blockSize);
        const CameraParams before = params;
        Outcome outcome = CameraEventDecoder::Decode(kind.type, block.get(), camera, params);
        CheckOne(kind.type, block.get(), camera != nullptr, outcome, before, params);
    }
    return 0;
}
