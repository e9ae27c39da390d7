// Everything one simulated camera is: its widgets, reactions, faults, pending events
// and what it received. Lives in the state directory (see StateStore): JSON (see StateJson)
// for all but the received values, which have a log of their own.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Latency.h"
#include "PtpState.h"

namespace camsim {

enum class Kind { Text, Range, Toggle, Radio, Menu, Date };

enum class Fault { None, NoValue, Typeless };

// How a change of a widget is reported by wait_for_event.
struct EventReaction {
    enum class Mode { Property, None, Typed };
    Mode mode = Mode::Property;            // Property: GP_EVENT_UNKNOWN "PTP Property <p> changed"
    int type = 0;                          // Typed: event type (10..17 for the driver additions)
    std::string encode;                    // Typed: how the value becomes the data block (EventCodec)
    std::map<std::string, int64_t> codes;  // value text -> number, tried before parsing the text
};

struct Widget {
    std::string name;
    std::string label;
    std::string section;
    std::string property;  // text used in the standard change event; the name when empty
    Kind kind = Kind::Text;
    std::string value;  // toggles, dates and ranges as decimal text
    std::vector<std::string> choices;
    float min = 0, max = 0, step = 1;
    bool readonly = false;
    EventReaction event;
    // value written -> other widgets the camera changes with it
    std::map<std::string, std::map<std::string, std::string>> effects;
    // value written ("*": any value) -> widget values the camera must be in to accept it
    std::map<std::string, std::map<std::string, std::string>> preconditions;
    // reactions and faults
    bool stubborn = false;
    int failLookup = 0;
    Fault valueFault = Fault::None;
    int failSet = 0;
};

struct PendingEvent {
    int type = 0;
    std::vector<uint8_t> data;
    int64_t dueMs = 0;  // CLOCK_REALTIME milliseconds, shared by all processes
};

// A written value that takes effect later (the settle delay).
struct PendingValue {
    std::string widget;
    std::string value;
    int64_t dueMs = 0;  // CLOCK_REALTIME milliseconds, as for events
};

struct CameraState {
    std::string profile;      // profile stem
    std::string profilePath;  // file it was loaded from
    std::string model;
    int usbVendor = 0;
    int usbProduct = 0;
    bool plugged = false;
    int64_t session = 0;  // grows with every plug; an open camera belongs to one session
    Latency latency;
    std::vector<Widget> widgets;
    int connectFault = 0, connectTimes = 0;
    int waitFault = 0, waitTimes = 0;
    // Values received during the current StateStore::Update, which appends them to the
    // received log; never part of state.json.
    std::vector<std::string> received;
    std::vector<PendingEvent> events;
    std::vector<PendingValue> pendingValues;  // in the order written
    PtpState ptp;                             // the body at the USB wire, when it has one

    Widget* Find(const std::string& name);
    const Widget* Find(const std::string& name) const;
    // Gives the widgets the written values that are due by nowMs.
    void ApplyDueValues(int64_t nowMs);
    // The value the widget holds once everything written to it has taken effect.
    std::string ValueToCome(const Widget& w) const;
    // Writes value into the widget at dueMs: at once when that is not later than now.
    void SetValueAt(Widget& w, const std::string& value, int64_t dueMs);
    // Forgets what was written to the widget and has not taken effect yet.
    void DropPendingValues(const std::string& widget);
};

const char* KindName(Kind kind);
bool KindFromName(const std::string& text, Kind* kind);
const char* FaultName(Fault fault);
bool FaultFromName(const std::string& text, Fault* fault);

int64_t NowMs();

// Range values and bounds reach libgphoto2 as float. A finite double a float can hold, or a
// text that is such a number: false for "nan", "inf", "1e39", "" or trailing characters.
bool FloatFromDouble(double value, float* out);
bool RangeNumber(const std::string& text, float* out);

}  // namespace camsim
