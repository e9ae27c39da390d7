#include "Latency.h"

#include <time.h>

#include <cerrno>

namespace camsim {

Latency RealisticLatency() {
    Latency l;
    l.transactionMs = 3;  // one PTP request and its response: 1-4 ms, 2.9 ms for OpenSession
    l.openMs = 1000;      // session, device info and properties: ~0.9 s (Sony), "the first 1 second" (Nikon)
    // Sony steps a shutter speed notch by notch: ~2.5 s for the ~50 notches of 30 s -> 1/4000.
    l.settleMs = 50;
    return l;
}

bool LatencyPreset(const std::string& name, Latency* out) {
    if (name == "zero") {
        *out = Latency();
        return true;
    }
    if (name == "realistic") {
        *out = RealisticLatency();
        return true;
    }
    return false;
}

void PauseMs(int ms) {
    if (ms <= 0)
        return;
    struct timespec left = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace camsim
