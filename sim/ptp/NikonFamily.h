// Nikon bodies' own operations and change reports.
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
