// The operations every PTP body answers the same way (ISO 15740): device info, sessions,
// storage and objects (a body in PC-control mode shows no files), and the standard device
// property operations served from the body's data.
#pragma once

#include <vector>

#include "Body.h"
#include "Family.h"
#include "PtpData.h"

namespace camsim {
namespace ptp {

class StandardOperations {
  public:
    // False when the operation is not a standard one this emulator answers.
    static bool Handle(Exchange& x);

    // The DeviceInfo data set of the body.
    static std::vector<uint8_t> PackDeviceInfo(const Body& body);
    // A standard DevicePropDesc data set with the given current value.
    static void PackPropDesc(Packer& out, const Property& p, const Value& current);
    // Checks and applies a set of a property by the initiator: logs it, refuses what the
    // descriptor does not allow, and lets the body take it after the settle time. The response
    // code.
    static uint16_t SetProperty(BodyModel& body, uint16_t code, const std::vector<uint8_t>& data);
};

}  // namespace ptp
}  // namespace camsim
