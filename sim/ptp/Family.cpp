#include "Family.h"

#include "CanonFamily.h"
#include "NikonFamily.h"
#include "SonyFamily.h"

namespace camsim {
namespace ptp {

const Family* FindFamily(const std::string& name) {
    if (name == "sony")
        return &SonyFamilyInstance();
    if (name == "canon")
        return &CanonFamilyInstance();
    if (name == "nikon")
        return &NikonFamilyInstance();
    return nullptr;
}

}  // namespace ptp
}  // namespace camsim
