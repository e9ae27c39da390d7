// Nikon Z bodies' own operations and change reports: the polled event queue (GetEvent and
// GetEventEx), DeviceReady with busy answers while the body settles, live view, the
// application mode and movie recording in card.
#pragma once

#include "Family.h"

namespace camsim {
namespace ptp {

class NikonFamily : public Family {
  public:
    bool Handle(Exchange& x) const override;
    void Report(BodyModel& body, uint16_t code) const override;
};

const Family& NikonFamilyInstance();

}  // namespace ptp
}  // namespace camsim
