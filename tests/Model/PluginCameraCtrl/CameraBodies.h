// The camera bodies as the plug-in makes them, each on its simulated camera opened through the
// real libgphoto2; the operations of the camera interface; table-driven checks of reads and actions.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BodyList.h"
#include "CameraFactory.h"
#include "CanonEosR6M2Camera.h"
#include "LogCapture.h"
#include "SimCamera.h"

using Strings = std::vector<std::string>;
using VF = camsim::ValueFault;

// Every model type with its simulated profile and the model string its driver reports: the
// plug-in's list, then type 12 and the generic camera.
struct BodyRow {
    CameraType type;
    const char* profile;
    const char* model;  // nullptr: no model string names the type
};
inline const std::vector<BodyRow> kBodies = [] {
    std::vector<BodyRow> rows;
    for (const BodyListRow& body : kBodyList)
        rows.push_back({body.type, body.profile, body.model});
    rows.push_back({CanonEosR6M2Alt, "canon-r6m2", nullptr});
    rows.push_back({Unrecognized, "sony-a7m3", nullptr});  // the generic camera, which no model gets
    return rows;
}();

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

// One body, with the plug-in's record registered for notifications as the plug-in does.
struct Body {
    explicit Body(CameraType type) : session(RowOf(type).profile) {
        camera = MakeCamera(type, session.GpCamera(), session.Context());
        camera->RegisterNotifyCallback(
            [this](CameraParams* p) {
                EXPECT_EQ(p, &record) << "the plug-in's own record is handed back";
                notified.push_back(*p);
                return 0;
            },
            &record);
        log.Clear();
    }
    camsim::Simulator& sim() { return session.Sim(); }
    Strings Sent() {  // what the camera accepted or refused since the last call
        Strings r = sim().Received();
        sim().ClearReceived();
        return r;
    }
    Strings Logged(int level = 0) { return ::Logged(log, level); }

    LogCapture log;
    SimCamera session;
    std::unique_ptr<AbstructCamera> camera;
    CameraParams record;
    std::vector<CameraParams> notified;
};

// An operation as the plug-in calls it, a text of the host's ("x,y" a touch), the fields a read fills.
using C = AbstructCamera;
using P = CameraParams;
struct Op {
    const char* name;
    int (*run)(C&, P&, const std::string&);
    const char* text;
    std::string P::*value;
    Strings P::*list;
    std::string P::*notifies = nullptr;  // the field a set hands back in the record, if it does
};
// clang-format off
#define CAMERA_READ(op, field, list) \
    {#op, [](C& c, P& p, const std::string&) { return c.op(p); }, "", &P::field, &P::list}
#define CAMERA_ACT(op, text, call) \
    {#op, [](C& c, P& p, const std::string& v) { (void)p; (void)v; return c.call; }, text, nullptr, nullptr}
#define CAMERA_SET(op, text, field) \
    {#op, [](C& c, P&, const std::string& v) { return c.op(v); }, text, nullptr, nullptr, &P::field}
inline const Op kGetFocus = CAMERA_READ(GetFocusModeParam, focusMode, supportedFocusMode);
inline const Op kGetIso = CAMERA_READ(GetIsoParam, iso, supportedIso);
inline const Op kGetIris = CAMERA_READ(GetIrisParam, iris, supportedIris);
inline const Op kGetShutter = CAMERA_READ(GetShutterSpeedParam, shutterSpeed, supportedShutterSpeed);
inline const Op kGetMode = CAMERA_READ(GetCurrentMode, mode, supportedMode);
inline const Op kGetWb = CAMERA_READ(GetWhiteBalanceParam, whiteBalance, supportedWhiteBalance);
inline const Op kSetFocus = CAMERA_ACT(SetFocusModeParam, "MF", SetFocusModeParam(v));
inline const Op kSetIso = CAMERA_SET(SetIsoParam, "800", iso);
inline const Op kSetIris = CAMERA_SET(SetIrisParam, "Auto", iris);
inline const Op kSetShutter = CAMERA_SET(SetShutterSpeedParam, "1/250", shutterSpeed);
inline const Op kSetWb = CAMERA_SET(SetWhiteBalanceParam, "Daylight", whiteBalance);
inline const Op kRecord = CAMERA_ACT(EnableRecord, "1", EnableRecord(v == "1"));
inline const Op kRecordState = CAMERA_ACT(GetRecordEnable, "", GetRecordEnable(p, nullptr));
inline const Op kBattery = CAMERA_ACT(GetBatteryLevel, "", GetBatteryLevel());
inline const Op kDispMode = CAMERA_ACT(QueryCameraDispMode, "", QueryCameraDispMode(p));
inline const Op kTouch = CAMERA_ACT(TouchFocus, "320,540",
                                    TouchFocus(PackPoint(std::stoi(v), std::stoi(v.substr(v.find(',') + 1)))));
#undef CAMERA_READ
#undef CAMERA_ACT
#undef CAMERA_SET
// clang-format on

// A step that sets the simulated camera up before a row, through the simulator's own API.
using Given = std::function<int(camsim::Simulator&)>;
using Givens = std::vector<Given>;
inline Given Value(const std::string& widget, const std::string& value) {
    return [=](camsim::Simulator& sim) { return sim.SetValue(widget, value); };
}
inline Given Choices(const std::string& widget, const Strings& choices) {
    return [=](camsim::Simulator& sim) { return sim.SetChoices(widget, choices); };
}
// Lookups or writes of the widget fail with `code` (0: they work again).
inline Given LookupFails(const std::string& widget, int code) {
    return [=](camsim::Simulator& sim) { return sim.FailLookup(widget, code); };
}
inline Given SetFails(const std::string& widget, int code) {
    return [=](camsim::Simulator& sim) { return sim.FailSet(widget, code); };
}
// The widget served in another form, holding 0.
inline Given Served(const std::string& widget, camsim::WidgetKind kind) {
    return [=](camsim::Simulator& sim) { return sim.AddWidget(widget, kind, "0"); };
}

inline void SetUpCamera(camsim::Simulator& sim, const Givens& setup) {
    for (const Given& step : setup)
        ASSERT_EQ(step(sim), 0) << sim.LastError();
}

// A read on a body: the camera's choices and value of `widget` (or a fault for the value), the
// record's mode before, and what the read gives: the result, the record's value and list, and
// the level-2 line logged, if any.
struct Read {
    CameraType type;
    const Op& op;
    const char* widget;
    Strings choices;
    const char* value;
    const char* mode;
    const char* shown;
    Strings list;
    int result = 0;
    VF fault = VF::None;
    std::string failure = {};  // the level-2 line logged, if any
    Givens setup = {};         // as for an action, before the widget's choices and value
};

// The read with the camera set up first.
inline Read After(const Givens& setup, Read read) {
    read.setup = setup;
    return read;
}

// An action on a body, after the rows before it on the same body: the camera set up first, the
// operation with its text, and what it gives: the result, what the camera
// received, the level-2 lines, the records handed back (with the text).
struct Act {
    CameraType type;
    Givens setup;
    const Op& op;
    std::string text;
    int result;
    Strings sent;
    Strings failures = {};
    size_t notified = 0;
};

// The body of each row in turn, the one of the row before when it is of the same type.
inline Body& BodyFor(std::unique_ptr<Body>& body, CameraType type) {
    if (!body || body->camera->GetCameraType() != type) {
        body.reset();
        body = std::make_unique<Body>(type);
    }
    return *body;
}

inline void CheckReads(const std::vector<Read>& reads) {
    std::unique_ptr<Body> kept;
    for (const Read& r : reads) {
        SCOPED_TRACE(std::string(RowOf(r.type).profile) + " " + r.op.name + " in " + r.mode);
        Body& body = BodyFor(kept, r.type);
        body.sim().ClearFaults();
        SetUpCamera(body.sim(), r.setup);
        ASSERT_EQ(body.sim().SetChoices(r.widget, r.choices), 0) << body.sim().LastError();
        ASSERT_EQ(r.fault == VF::None ? body.sim().SetValue(r.widget, r.value)
                                      : body.sim().SetValueFault(r.widget, r.fault),
                  0);
        body.Logged();
        CameraParams p = Stale(r.mode);
        EXPECT_EQ(r.op.run(*body.camera, p, ""), r.result);
        EXPECT_EQ(p.*r.op.value, r.shown);
        EXPECT_EQ(p.*r.op.list, r.list);
        EXPECT_EQ(body.Logged(2), r.failure.empty() ? Strings{} : Strings{r.failure});
    }
}

inline void CheckActs(const std::vector<Act>& acts) {
    std::unique_ptr<Body> kept;
    for (const Act& a : acts) {
        SCOPED_TRACE(std::string(RowOf(a.type).profile) + " " + a.op.name + " '" + a.text + "'");
        Body& body = BodyFor(kept, a.type);
        SetUpCamera(body.sim(), a.setup);
        body.Sent();
        body.Logged();
        body.notified.clear();
        body.record = Stale();
        CameraParams p;
        EXPECT_EQ(a.op.run(*body.camera, p, a.text), a.result);
        EXPECT_EQ(body.Sent(), a.sent);
        EXPECT_EQ(body.Logged(2), a.failures);
        ASSERT_EQ(body.notified.size(), a.notified);
        // The set's own field holds the text; nothing else of the record changed.
        CameraParams expected = Stale();
        if (a.op.notifies != nullptr)
            expected.*a.op.notifies = a.text;
        else
            expected.recordEnable = a.text == "1";
        for (const CameraParams& n : body.notified)
            EXPECT_TRUE(n == expected) << "the notified record holds the text in its field";
    }
}
