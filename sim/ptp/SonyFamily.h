// Sony bodies in PC-control mode: the SDIO connect handshake, the extended device info that
// lists the vendor property codes, the all-properties blob every read fetches, absolute sets,
// relative steps and button presses, and the 0xC203 interrupt for a changed property.
#pragma once

#include "Family.h"

namespace camsim {
namespace ptp {

class SonyFamily : public Family {
  public:
    bool Handle(Exchange& x) const override;
    void Report(BodyModel& body, uint16_t code) const override;
};

const Family& SonyFamilyInstance();

}  // namespace ptp
}  // namespace camsim
