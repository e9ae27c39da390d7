#include "NikonFamily.h"

namespace camsim {
namespace ptp {

bool NikonFamily::Handle(Exchange&) const {
    return false;
}

void NikonFamily::Report(BodyModel& body, uint16_t code) const {
    body.PollEvent(0x4006, {code});
}

const Family& NikonFamilyInstance() {
    static const NikonFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
