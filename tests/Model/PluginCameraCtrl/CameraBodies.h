// The camera bodies as the plug-in makes them, each on its simulated camera opened through the
// real libgphoto2; the operations of the camera interface; one table-driven check of reads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CameraFactory.h"
#include "CanonEosR6M2Camera.h"
#include "LogCapture.h"
#include "SimCamera.h"

using Strings = std::vector<std::string>;
using VF = camsim::ValueFault;

// Every model type with its simulated profile and the model string its driver reports.
struct BodyRow {
    CameraType type;
    const char* profile;
    const char* model;  // nullptr: no model string names the type
};
inline const BodyRow kBodies[] = {
    {SonyA7M3, "sony-a7m3", "Sony Alpha-A7 III (PC Control)"},
    {SonyA7M4, "sony-a7m4", "Sony Alpha-A7 IV (PC Control)"},
    {SonyA7S3, "sony-a7s3", "Sony DSC-A7S III (Control)"},
    {SonyZVE10, "sony-zve10", "Sony ZV-E10 (Control)"},
    {SonyFX3, "sony-fx3", "Sony ILME-FX3 (PC Control)"},
    {SonyFX3A, "sony-fx3a", "Sony ILME-FX3A (PC Control)"},
    {SonyFX30, "sony-fx30", "Sony ILME-FX30 (PC Control)"},
    {SonyZVE10M2, "sony-zve10m2", "Sony ZV-E10M2 (Control)"},
    {CanonEosR6, "canon-r6", "Canon EOS R6"},
    {CanonEosR6M2, "canon-r6m2", "Canon EOS R6m2"},
    {CanonEosRP, "canon-rp", "Canon EOS RP"},
    {NikonZ8, "nikon-z8", "Nikon Z8"},
    {NikonZ9, "nikon-z9", "Nikon Z9"},
    {CanonEosR6M2Alt, "canon-r6m2", nullptr},
    {Unrecognized, "sony-a7m3", nullptr},  // the generic camera, which no model gets
};

inline const BodyRow& RowOf(CameraType type) {
    return *std::find_if(std::begin(kBodies), std::end(kBodies),
                         [&](const BodyRow& r) { return r.type == type; });
}

// The factory's object for the body's model string; type 12 is an R6 Mark II made for that type.
inline std::unique_ptr<AbstructCamera> MakeCamera(CameraType type, Camera* camera, GPContext* context) {
    if (type == Unrecognized)
        return std::make_unique<AbstructCamera>(camera, context, type);
    if (RowOf(type).model == nullptr)
        return std::make_unique<CanonEosR6M2Camera>(camera, context, type);
    return CameraFactory().CreateCamera(RowOf(type).model, camera, context);
}

// A host touch point as the plug-in receives it: horizontal in the high half, vertical in the low.
inline int PackPoint(int h, int v) {
    return static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(h)) << 16) |
                            static_cast<uint16_t>(v));
}

// A record whose fields all hold something, to see what an operation clears or fills.
inline CameraParams Stale(const std::string& mode = "stale") {
    CameraParams p;
    p.focusMode = p.iso = p.iris = p.shutterSpeed = p.whiteBalance = "stale";
    p.supportedFocusMode = p.supportedIso = p.supportedIris = {"stale"};
    p.supportedShutterSpeed = p.supportedMode = p.supportedWhiteBalance = {"stale"};
    p.mode = mode;
    return p;
}

// The lines logged since the last call (only those of `level` unless 0), as "level message".
inline Strings Logged(LogCapture& log, int level = 0) {
    Strings out;
    for (const LogLine& l : log.Lines()) {
        if (level == 0 || l.level == level)
            out.push_back(std::to_string(l.level) + " " + l.message);
    }
    log.Clear();
    return out;
}

struct Body {
    explicit Body(CameraType type) : session(RowOf(type).profile) {
        camera = MakeCamera(type, session.GpCamera(), session.Context());
        log.Clear();
    }
    camsim::Simulator& sim() { return session.Sim(); }
    // What the camera accepted or refused since the last call.
    Strings Sent() {
        Strings r = sim().Received();
        sim().ClearReceived();
        return r;
    }
    Strings Logged(int level = 0) { return ::Logged(log, level); }

    LogCapture log;
    SimCamera session;
    std::unique_ptr<AbstructCamera> camera;
};

// An operation as the plug-in calls it, with the record fields it fills.
struct Op {
    const char* name;
    int (*run)(AbstructCamera&, CameraParams&);
    std::string CameraParams::*value;
    Strings CameraParams::*list;
};
using P = CameraParams;
using C = AbstructCamera;
// clang-format off
inline const Op kGetFocus{"GetFocusModeParam", [](C& c, P& p) { return c.GetFocusModeParam(p); }, &P::focusMode, &P::supportedFocusMode};
inline const Op kGetIso{"GetIsoParam", [](C& c, P& p) { return c.GetIsoParam(p); }, &P::iso, &P::supportedIso};
inline const Op kGetIris{"GetIrisParam", [](C& c, P& p) { return c.GetIrisParam(p); }, &P::iris, &P::supportedIris};
inline const Op kGetShutter{"GetShutterSpeedParam", [](C& c, P& p) { return c.GetShutterSpeedParam(p); }, &P::shutterSpeed, &P::supportedShutterSpeed};
inline const Op kGetMode{"GetCurrentMode", [](C& c, P& p) { return c.GetCurrentMode(p); }, &P::mode, &P::supportedMode};
inline const Op kGetWb{"GetWhiteBalanceParam", [](C& c, P& p) { return c.GetWhiteBalanceParam(p); }, &P::whiteBalance, &P::supportedWhiteBalance};
// clang-format on

// A read on a body: the camera's choices and value of `widget` (or a fault for the value), the
// record's mode, and what the read gives.
struct Read {
    CameraType type;
    const Op& op;
    const char* widget;
    Strings choices;
    const char* value;
    const char* mode;
    const char* shown;  // the record's value after the read
    Strings list;       // and its list
    int result = 0;
    VF fault = VF::None;
    const char* failure = nullptr;  // the level-2 line logged, if any
};

inline void CheckReads(const std::vector<Read>& reads) {
    std::unique_ptr<Body> body;
    for (const Read& r : reads) {
        SCOPED_TRACE(std::string(RowOf(r.type).profile) + " " + r.op.name + " of " + r.value + " in " +
                     r.mode);
        if (!body || body->camera->GetCameraType() != r.type) {
            body.reset();
            body = std::make_unique<Body>(r.type);
        }
        body->sim().ClearFaults();
        ASSERT_EQ(body->sim().SetChoices(r.widget, r.choices), 0) << body->sim().LastError();
        ASSERT_EQ(r.fault == VF::None ? body->sim().SetValue(r.widget, r.value)
                                      : body->sim().SetValueFault(r.widget, r.fault),
                  0);
        body->Logged();
        CameraParams p = Stale(r.mode);
        EXPECT_EQ(r.op.run(*body->camera, p), r.result);
        EXPECT_EQ(p.*r.op.value, r.shown);
        EXPECT_EQ(p.*r.op.list, r.list);
        EXPECT_EQ(body->Logged(2), r.failure ? Strings{r.failure} : Strings{});
    }
}
