// Interval tables that map a touch coordinate to a scale factor or an offset.
#pragma once

#include <map>

// Covers the coordinates v with second <= v < first.
struct XPointRange {
    XPointRange(int upper, int lower) : first(upper), second(lower) {}
    int first;   // exclusive upper end
    int second;  // inclusive lower end
};

// Larger upper ends first; ranges with the same upper end are the same key.
struct XPointRangeMapCompare {
    bool operator()(XPointRange a, XPointRange b) const { return a.first > b.first; }
};

class XPointRangeMap : public std::map<XPointRange, int, XPointRangeMapCompare> {
  public:
    XPointRangeMap();
    ~XPointRangeMap();

    // The value of the first range, in map order, that holds v; false when none does.
    bool Lookup(double v, int& value) const;
};
