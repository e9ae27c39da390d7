// Every camera body the plug-in knows: its model type, the model string its driver reports, and
// the simulator's profile of it. The factory, the simulator's model list and the tests take their
// rows from here; adding a body starts with a row (docs/architecture.md).
#pragma once

#include "CameraParams.h"

struct BodyListRow {
    CameraType type;
    const char* model;    // exactly as the driver reports it
    const char* profile;  // sim/profiles/<profile>.json
};

// clang-format off
inline constexpr BodyListRow kBodyList[] = {
    {SonyA7M3,     "Sony Alpha-A7 III (PC Control)", "sony-a7m3"},
    {SonyA7M4,     "Sony Alpha-A7 IV (PC Control)",  "sony-a7m4"},
    {SonyA7S3,     "Sony DSC-A7S III (Control)",     "sony-a7s3"},
    {SonyZVE10,    "Sony ZV-E10 (Control)",          "sony-zve10"},
    {SonyFX3,      "Sony ILME-FX3 (PC Control)",     "sony-fx3"},
    {SonyFX3A,     "Sony ILME-FX3A (PC Control)",    "sony-fx3a"},
    {SonyFX30,     "Sony ILME-FX30 (PC Control)",    "sony-fx30"},
    {SonyZVE10M2,  "Sony ZV-E10M2 (Control)",        "sony-zve10m2"},
    {CanonEosR6,   "Canon EOS R6",                   "canon-r6"},
    {CanonEosR6M2, "Canon EOS R6m2",                 "canon-r6m2"},
    {CanonEosRP,   "Canon EOS RP",                   "canon-rp"},
    {NikonZ8,      "Nikon Z8",                       "nikon-z8"},
    {NikonZ9,      "Nikon Z9",                       "nikon-z9"},
};
// clang-format on
