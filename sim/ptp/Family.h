// A vendor's conversation: the operations only its bodies know and how its bodies report a
// changed property. Families hold no state of their own: the body's state is in the state file
// (PtpState), what belongs to one open session in Session.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BodyModel.h"
#include "PtpData.h"

namespace camsim {
namespace ptp {

// One open session of the driver with the body (in the driver's process, from OpenSession to
// CloseSession or close).
struct Session {
    bool open = false;
    uint32_t id = 0;
    std::map<std::string, int64_t> vars;  // the family's own per-session facts (phases, modes)
    std::set<uint16_t> reported;          // properties already described in this session
};

// One transaction as the body sees it.
struct Exchange {
    const Command& cmd;
    const std::vector<uint8_t>* dataOut;  // the initiator's data phase; nullptr when there was none
    Reply& reply;
    BodyModel& body;
    Session& session;
};

class Family {
  public:
    virtual ~Family() = default;
    // Answers an operation of this vendor; false when it is not one (the standard set answers).
    virtual bool Handle(Exchange& x) const = 0;
    // A property changed on the body (set by the initiator, a dial turned, a step settled):
    // report it the way this vendor's bodies do.
    virtual void Report(BodyModel& body, uint16_t code) const = 0;
};

// "sony", "canon", "nikon"; nullptr for another name.
const Family* FindFamily(const std::string& name);

}  // namespace ptp
}  // namespace camsim
