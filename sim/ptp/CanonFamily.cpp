#include "CanonFamily.h"

namespace camsim {
namespace ptp {

bool CanonFamily::Handle(Exchange&) const {
    return false;
}

void CanonFamily::Report(BodyModel& body, uint16_t code) const {
    body.MarkChanged(code);
}

const Family& CanonFamilyInstance() {
    static const CanonFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
