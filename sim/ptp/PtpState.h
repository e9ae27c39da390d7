// What changes on a body at the PTP level while it is plugged: property values, the events it
// has to report and the faults it is told to show. Part of the camera's state file, so the
// camsim command, the tests and the driver's process all see the same body.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "PtpData.h"

namespace camsim {

struct PtpEventRecord {
    uint16_t code = 0;
    std::vector<uint32_t> params;
    int64_t dueMs = 0;  // CLOCK_REALTIME milliseconds, as for the camera-library events
};

// A value the body takes later: a relative step or a set that settles.
struct PtpPendingValue {
    uint16_t code = 0;
    ptp::Value value;
    int64_t dueMs = 0;
};

struct PtpState {
    std::string body;  // body data file; "" when the plugged camera has no PTP level
    int usbVendor = 0, usbProduct = 0;
    std::map<uint16_t, ptp::Value> values;   // every property's current value
    std::vector<PtpEventRecord> interrupts;  // containers for the interrupt pipe, in order
    std::vector<PtpEventRecord> polled;      // events handed out by an event-poll operation
    std::vector<uint16_t> changed;           // properties changed since the last batch (Canon)
    std::vector<PtpPendingValue> pending;
    std::map<std::string, int64_t> vars;  // the family's facts about the body that outlive a session
    // Faults: the next `busy` operations answer Device Busy, the next `stall` reads time out,
    // the next `dropEvents` events are lost.
    int busy = 0, stall = 0, dropEvents = 0;

    bool Active() const { return !body.empty(); }
};

}  // namespace camsim
