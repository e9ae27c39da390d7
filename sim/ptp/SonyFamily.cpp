#include "SonyFamily.h"

namespace camsim {
namespace ptp {

bool SonyFamily::Handle(Exchange&) const {
    return false;
}

void SonyFamily::Report(BodyModel& body, uint16_t code) const {
    body.Interrupt(0xC203, {code});
}

const Family& SonyFamilyInstance() {
    static const SonyFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
