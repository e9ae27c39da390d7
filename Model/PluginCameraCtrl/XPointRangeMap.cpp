#include "XPointRangeMap.h"

XPointRangeMap::XPointRangeMap() = default;

XPointRangeMap::~XPointRangeMap() = default;

bool XPointRangeMap::Lookup(double v, int& value) const {
    for (const auto& entry : *this) {
        if (static_cast<double>(entry.first.second) <= v && v < static_cast<double>(entry.first.first)) {
            value = entry.second;
            return true;
        }
    }
    return false;
}
