// How long the simulated camera takes to answer, imitating a real one on USB. All zero by
// default: the tests and the tools run without delays unless a profile or camsim asks.
#pragma once

#include <string>

namespace camsim {

// The largest figure accepted anywhere (one hour).
constexpr int kMaxLatencyMs = 3600000;

struct Latency {
    int transactionMs = 0;  // every request the camera answers: a widget read or write, an event poll
    int openMs = 0;         // opening the camera (session set-up)
    int settleMs = 0;       // a written value takes effect, and is reported, this much later

    bool operator==(const Latency& o) const {
        return transactionMs == o.transactionMs && openMs == o.openMs && settleMs == o.settleMs;
    }
};

// Round figures from published measurements of USB PTP cameras; sim/README.md names the
// source of each.
Latency RealisticLatency();

// "zero" or "realistic"; false for any other name.
bool LatencyPreset(const std::string& name, Latency* out);

// Sleeps ms milliseconds (nothing for 0 or less), resuming after signals.
void PauseMs(int ms);

}  // namespace camsim
