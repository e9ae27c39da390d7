// The Sony bodies. Where they differ the difference is data in SonyCamera.cpp: a row of the
// body table (how the exposure program is read, how lookups are worded, the flash rule) and
// rows of the list rules (which choices a list leaves out in which programs). A body class
// names its row and overrides only the steps that are its own code.
#pragma once

#include <initializer_list>
#include <string>

#include "AbstructCamera.h"

class SonyCamera : public AbstructCamera {
  public:
    // One row per body of the tables; the FX3A shares the FX3's row but has list rules of its own.
    enum class Body { A7M3, A7M4, A7S3, ZVE10, FX3, FX3A, FX30, ZVE10M2 };

    using Modes = std::initializer_list<const char*>;
    static bool InModes(const std::string& mode, const Modes& modes);

    // Exposure programs as the driver writes them in "expprogram" (A7 III, ZV-E10),
    // and the still programs as every body names them.
    static const Modes kStillModes;
    static const Modes kExpprogramMovieModes;
    static const Modes kExpprogramSlowQuickModes;

    // The lists a rule can filter.
    enum class List { Focus, Iso, Shutter, WhiteBalance };

    int GetCurrentMode(CameraParams& params) override;
    int GetWhiteBalanceParam(CameraParams& params) override;

  protected:
    SonyCamera(_Camera* camera, _GPContext* context, CameraType type, Body body);

    // Whether the body's rules leave out the choice at `position` with `text` while the camera
    // is in `mode`. The first rule of the body and list whose programs match decides.
    bool LeftOut(List list, const std::string& mode, int position, const std::string& text) const;

    const Body m_body;
};
