// The Sony bodies. Where they differ the difference is data in SonyCamera.cpp: a column of the
// program table, a row of the body table (how the program is read, how lookups are worded, when
// "Flash" is offered, how the shutter list is read). A body class names its row and overrides only
// the rules that are its own (OwnRule) and the steps that are its own code.
#pragma once

#include <initializer_list>
#include <string>

#include "AbstructCamera.h"

class SonyCamera : public AbstructCamera {
  public:
    // One row per body of the tables; the FX3A shares the FX3's class but has a row of its own.
    enum class Body { A7M3, A7M4, A7S3, ZVE10, FX3, FX3A, FX30, ZVE10M2 };

    using Modes = std::initializer_list<const char*>;
    static bool InModes(const std::string& mode, const Modes& modes);

    // Exposure programs as the driver writes them in "expprogram" (A7 III, ZV-E10),
    // and the still programs as every body names them.
    static const Modes kStillModes;
    static const Modes kExpprogramMovieModes;
    static const Modes kExpprogramSlowQuickModes;

    // The lists a body's own rule can filter.
    enum class List { Focus, Iso, Shutter };

    int GetCurrentMode(CameraParams& params) override;
    int GetShutterSpeedParam(CameraParams& params) override;
    int GetWhiteBalanceParam(CameraParams& params) override;

  protected:
    SonyCamera(_Camera* camera, _GPContext* context, CameraType type, Body body);

    // A rule only this body has: whether it leaves out the choice at `position` with `text` of
    // `list` while the camera is in `mode`. None by default.
    virtual bool OwnRule(List list, const std::string& mode, int position, const std::string& text) const;
    LeftOutRule OwnRuleFor(List list, const std::string& mode) const;

    const Body m_body;
};
