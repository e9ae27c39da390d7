// Values the camera-class tests share: the fallback lists written out, packed touch points
// and a record in a given exposure program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CameraParams.h"

using Strings = std::vector<std::string>;

inline const Strings kFixedIso = {
    "AUTO",  "40",    "50",     "64",     "80",     "100",    "125",    "160",    "200",   "250",   "320",
    "400",   "500",   "640",    "800",    "1000",   "1250",   "1600",   "2000",   "2500",  "3200",  "4000",
    "5000",  "6400",  "8000",   "10000",  "12800",  "16000",  "20000",  "25600",  "32000", "40000", "51200",
    "64000", "80000", "102400", "128000", "160000", "204800", "256000", "320000", "409600"};

inline const Strings kFixedIris = {"f/1",   "f/1.1", "f/1.2", "f/1.4", "f/1.6", "f/1.8", "f/2",  "f/2.2",
                                   "f/2.5", "f/2.8", "f/3.2", "f/3.5", "f/4",   "f/4.5", "f/5",  "f/5.6",
                                   "f/6.3", "f/7.1", "f/8",   "f/9",   "f/10",  "f/11",  "f/13", "f/14",
                                   "f/16",  "f/18",  "f/20",  "f/22",  "f/25",  "f/29",  "f/32", "f/36",
                                   "f/42",  "f/45",  "f/50",  "f/57",  "f/64"};

// The generic shutter fallback; every program but "M" drops the leading "Bulb".
inline const Strings kFixedShutter = {
    "Bulb",   "30",     "20",     "15",     "13",    "10",     "8",      "6",      "5",      "4",
    "3.2",    "2.5",    "2",      "1.6",    "1.3",   "1",      "0.8",    "0.6",    "0.5",    "0.4",
    "1/3",    "1/4",    "1/5",    "1/6",    "1/8",   "1/10",   "1/13",   "1/15",   "1/20",   "1/25",
    "1/30",   "1/40",   "1/50",   "1/60",   "1/80",  "1/100",  "1/125",  "1/160",  "1/200",  "1/250",
    "1/320",  "1/400",  "1/500",  "1/640",  "1/800", "1/1000", "1/1250", "1/1600", "1/2000", "1/2500",
    "1/3200", "1/4000", "1/5000", "1/6400", "1/8000"};
inline const Strings kFixedShutterNoBulb(kFixedShutter.begin() + 1, kFixedShutter.end());

// A host touch point as the plug-in receives it: horizontal in the high half, vertical in the low.
inline int PackPoint(int h, int v) {
    return static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(h)) << 16) |
                            static_cast<uint16_t>(v));
}

inline CameraParams InMode(const std::string& mode) {
    CameraParams p;
    p.mode = mode;
    return p;
}
