// Procedures the Sony bodies share: the exposure program from "500e" and the white
// balance with each body's "Flash" rule. The per-body differences are rows of the
// tables in SonyCamera.cpp; a body class only names its row.
#pragma once

#include <initializer_list>
#include <string>

#include "AbstructCamera.h"

class SonyCamera : public AbstructCamera {
  public:
    // One row per body class of the tables (the FX3A uses the FX3's row).
    enum class Body { A7M3, A7M4, A7S3, ZVE10, FX3, FX30, ZVE10M2 };

    using Modes = std::initializer_list<const char*>;
    static bool InModes(const std::string& mode, const Modes& modes);

    // Exposure programs as the driver writes them in "expprogram" (A7 III, ZV-E10),
    // and the still programs as every body names them.
    static const Modes kStillModes;
    static const Modes kExpprogramMovieModes;
    static const Modes kExpprogramSlowQuickModes;

  protected:
    SonyCamera(_Camera* camera, _GPContext* context, CameraType type);

    // The exposure program from "500e" into `mode`, mapped by the body's program table.
    int ReadProgram(CameraParams& params, Body body) const;
    // "whitebalance" into `whiteBalance` and `supportedWhiteBalance`, "Flash" listed
    // only where the body's flash rule allows it.
    int ReadWhiteBalance(CameraParams& params, Body body) const;

    // The current value into `field` when it was read and is not empty; returns the
    // gp_widget_get_value status.
    static int ReadValue(CameraWidget* widget, std::string& field);
};
