// A plugged body at the PTP level: its data (Body) with its current state (PtpState inside the
// CameraState), for one locked read-modify-write of the state file. Every change of a
// property goes through here, so the camera-library view (the widget the property serves)
// and the vendor's change report follow it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Body.h"
#include "CameraState.h"
#include "PtpData.h"

namespace camsim {
namespace ptp {

class Family;

class BodyModel {
  public:
    BodyModel(const Body& body, CameraState& state, int64_t nowMs);

    const Body& Data() const { return m_body; }
    CameraState& State() { return m_state; }
    PtpState& Ptp() { return m_state.ptp; }
    int64_t NowMs() const { return m_nowMs; }
    const Family* VendorFamily() const { return m_family; }

    const Property* Find(uint16_t code) const { return m_body.Find(code); }
    // The current value (the data's current value until something changed it).
    Value Current(const Property& p) const;
    // The body takes the value now: the widget it serves shows the value's text and the family
    // reports the change (nothing when the value did not change).
    void Change(uint16_t code, const Value& v);
    // The same, dueMs from now on (at once when not later than now).
    void ChangeAt(uint16_t code, const Value& v, int64_t dueMs);
    // The value the property will hold once pending changes are done.
    Value ValueToCome(const Property& p) const;
    // Applies the pending changes due by now.
    void ApplyDue();

    // Queues a container for the interrupt pipe / for the vendor's event poll (unless a
    // lost-event fault swallows it).
    void Interrupt(uint16_t code, std::vector<uint32_t> params, int64_t dueMs = 0);
    void PollEvent(uint16_t code, std::vector<uint32_t> params, int64_t dueMs = 0);
    // Marks a property for the next batch of changes (Canon).
    void MarkChanged(uint16_t code);

    // The received log: a set by the initiator ("0xD21E=3200") and a vendor operation it ran
    // ("op 0x9207 0xD2C8 2").
    void LogSet(uint16_t code, const Value& v);
    void LogOperation(const Command& cmd);

    // Round trip figures of the latency model.
    int TransactionMs() const { return m_state.latency.transactionMs; }
    int SettleMs() const { return m_state.latency.settleMs; }

  private:
    void MirrorWidget(const Property& p, const Value& v);

    const Body& m_body;
    CameraState& m_state;
    int64_t m_nowMs;
    const Family* m_family;
};

// The property a change names: a widget the body's data maps, or a property code; nullptr when
// neither.
const Property* PropertyFor(const Body& body, const std::string& nameOrCode);
// The raw value a change on the body gives the property: a text the driver shows, a number in
// its form or, as a dial can turn past the list, any raw number. False with *error otherwise.
bool ChangeValue(const Property& p, const std::string& text, Value* value, std::string* error);

}  // namespace ptp
}  // namespace camsim
