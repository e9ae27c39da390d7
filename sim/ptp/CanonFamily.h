// Canon bodies' own operations and change reports.
#pragma once

#include "Family.h"

namespace camsim {
namespace ptp {

class CanonFamily : public Family {
  public:
    bool Handle(Exchange& x) const override;
    void Report(BodyModel& body, uint16_t code) const override;
};

const Family& CanonFamilyInstance();

}  // namespace ptp
}  // namespace camsim
