// Control of the simulated cameras from C++ (tests, tools). A Simulator is a handle on one
// state directory; the camera library loaded by libgphoto2 reads the same files, so what is
// done here is what libgphoto2 callers in any process see. Nothing throws: operations return
// 0 or a negative libgphoto2 error code, and LastError() tells what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

std::string DefaultStateDir();  // $CAMSIM_STATE_DIR, else /tmp/camsim-<uid>
// $CAMSIM_PROFILE_DIR, else the installed profiles beside this program, else (run from a build
// tree) the source tree's sim/profiles.
std::string ProfileDir();
// Points this process's libgphoto2 at the simulator's drivers: sets CAMLIBS and IOLIBS (the
// installed drivers beside this program, else the build's; overridable by $CAMSIM_CAMLIBS /
// $CAMSIM_IOLIBS) and, when stateDir is not empty, CAMSIM_STATE_DIR. Call before the first
// libgphoto2 call.
void UseSimulatorDrivers(const std::string& stateDir = "");
// Points this process's libgphoto2 at the simulated body on the USB wire: IOLIBS at the PTP port
// library ($CAMSIM_PTP_IOLIBS overrides), CAMLIBS at camlibs or, when empty, the system's camera
// drivers (SystemCamlibs()). Call before the first libgphoto2 call.
void UsePtpDrivers(const std::string& camlibs, const std::string& stateDir = "");
// The directory of the system libgphoto2's camera drivers.
std::string SystemCamlibs();
// The factory's 13 model strings in its order, then Sony bodies it does not know.
std::vector<std::string> Models();
std::vector<std::string> ProfileNames();  // profile file stems

enum class WidgetKind { Text, Range, Toggle, Radio, Menu, Date };
enum class ValueFault {
    None,
    NoValue,  // served with its type but no value set: gp_widget_get_value gives OK with a NULL text
    Typeless  // served as a GP_WIDGET_SECTION: gp_widget_get_value and gp_widget_count_choices fail (-2)
};

// How long the camera takes to answer (all 0: at once).
struct LatencyModel {
    int transactionMs = 0;  // each widget read, widget write and event poll
    int openMs = 0;         // opening the camera (session set-up)
    int settleMs = 0;       // a written value takes effect, and its event comes due, this much later
};
// Round figures from published measurements of USB PTP cameras (sim/README.md).
LatencyModel RealisticLatencyModel();

struct WidgetInfo {
    std::string name;
    WidgetKind kind = WidgetKind::Text;
    std::string value;
    std::vector<std::string> choices;
    std::string label;
    std::string section;
};

class Simulator {
  public:
    explicit Simulator(std::string stateDir = DefaultStateDir());
    const std::string& StateDir() const;
    std::string LastError() const;  // text of the last failure of this handle (names file and problem)

    int Plug(const std::string&
                 profileOrModel);  // profile stem, profile path or exact model string; resets all state
    // With $CAMSIM_USB_DEVFS set, Plug and Replug also make the camera's USB device node there
    // (DEVFS/999/001, made anew) and Unplug removes it, after the state has changed.
    int Unplug();  // detection reports nothing; an open camera fails every call with GP_ERROR_IO (-7)
    int Replug();  // the same camera comes back with its state (a new open works again)
    bool Plugged() const;
    // How often a process listed the simulated USB port (loaded libgphoto2's port list):
    // every libgphoto2 detection over the bus counts one.
    int64_t BusScans() const;
    std::string Model() const;    // model string of the current profile ("" when none)
    std::string Profile() const;  // profile stem ("" when none)

    // Camera-side view of widgets; these changes raise no event.
    int AddWidget(const std::string& name, WidgetKind kind, const std::string& value,
                  const std::vector<std::string>& choices = {});
    int RemoveWidget(const std::string& name);
    std::optional<std::string> Value(const std::string& name) const;  // toggles/dates/ranges as decimal text
    int SetValue(const std::string& name, const std::string& value);
    std::vector<std::string> Choices(const std::string& name) const;
    int SetChoices(const std::string& name, const std::vector<std::string>& choices);
    std::vector<WidgetInfo> Widgets() const;
    // A change made on the camera itself (a dial turned): the value changes, linked widgets move
    // and the declared events are raised as after a set, but nothing is recorded as received and
    // the value is not checked against the choices.
    int ChangeOnCamera(const std::string& name, const std::string& value);

    // The body at the USB wire (plugged with its profile when sim/ptp/bodies has its data).
    bool HasPtpBody() const;
    enum class PtpFaultKind {
        Busy,      // the next `times` operations answer Device Busy (0x2019)
        Stall,     // the next `times` bulk-in reads stall until the driver's time-out
        LoseEvent  // the next `times` events the body raises are lost
    };
    int PtpFault(PtpFaultKind kind, int times);
    // How many of the fault's times are still to come (0 without a body at the USB wire).
    int PtpFaultsLeft(PtpFaultKind kind) const;
    // Queues an interrupt-pipe event container with up to 3 parameters.
    int QueuePtpEvent(uint16_t code, const std::vector<uint32_t>& params);

    // Every value the camera accepted or refused through set_config/set_single_config, in order, as
    // "name=value".
    std::vector<std::string> Received() const;
    void ClearReceived();

    // Reactions
    int SetStubborn(const std::string& name, bool on);  // set accepted (GP_OK) but the value stays; no event
    // A written value takes effect, and its events come due, after ms (default 0).
    int SetSettleDelay(int ms);
    int SetLatency(const LatencyModel& latency);  // every figure 0 .. one hour
    std::optional<LatencyModel> Latency() const;  // nothing without a plugged camera

    // Events, delivered by wait_for_event in order (each event once)
    int QueueEvent(int type, const std::vector<uint8_t>& data);     // raw block for types 10..17 (or any)
    int QueueInt32Event(int type, int32_t value);                   // 11, 12, 13, 15
    int QueueShutterEvent(int32_t numerator, int32_t denominator);  // 16
    int QueueModeEvent(uint16_t code);                              // 17
    int QueueRecordEvent(int32_t state);                            // 10, state at byte 20 of a 24-byte block
    int QueueTextEvent(int gpEventType,
                       const std::string& text);  // standard events, e.g. GP_EVENT_UNKNOWN (0)
    size_t PendingEvents() const;
    int ClearEvents();

    // Faults (0 / None clears)
    int FailLookup(const std::string& name,
                   int code);  // get_single_config / get_config child lookup fails with code
    int SetValueFault(const std::string& name, ValueFault fault);
    int FailSet(const std::string& name,
                int code);                       // set_single_config of name fails with code, value unchanged
    int FailConnect(int code, int times);        // the next `times` camera opens (camera_init) fail with code
    int FailEventWait(int code, int times = 1);  // the next `times` wait_for_event calls return code
    void ClearFaults();

  private:
    int UpdateNode(bool plugged);

    std::string m_stateDir;
    mutable std::string m_lastError;
};

}  // namespace camsim
