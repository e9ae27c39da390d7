// The generic steps, and what all bodies share: the factory, the guard, the failed lookups' lines.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>

#include "CameraBodies.h"

namespace {

// On the A7 IV and ZV-E10, which read those the generic way, and on the generic camera itself.
TEST(GenericCamera, ReadsListTheChoicesOrTheFixedListsAndActionsSendTheTextAsItIs) {
    const Strings &iso = C::FixedIsoList(), &iris = C::FixedIrisList(), &shutter = C::FixedShutterList();
    for (const Strings* list : {&iso, &iris, &shutter})
        EXPECT_EQ(std::to_string(list->size()) + " " + list->front() + " " + list->back(),
                  list == &iso    ? "42 AUTO 409600"
                  : list == &iris ? "37 f/1 f/64"
                                  : "55 Bulb 1/8000");
    const Strings odd = {"30", "bULb", "1/250", "0/0"};
    // clang-format off
    CheckReads({
        {SonyA7M4, kGetFocus, "focusmode", {"Manual", "Automatic", "DMF"}, "Automatic", "P", "AF-S", {"MF", "AF-S", "DMF"}},
        {SonyA7M4, kGetFocus, "focusmode", {"Manual", "Undefined"}, "Undefined", "P", "", {}, -1},
        {SonyA7M4, kGetFocus, "focusmode", {"Manual", "Automatic"}, "", "P", "", {"MF", "AF-S"}, 0, VF::NoValue},
        // Fewer than two choices, or none that can be counted, give the fixed list.
        {SonyA7M4, kGetIso, "iso", {"AUTO", "800"}, "800", "P", "800", {"AUTO", "800"}},
        {SonyA7M4, kGetIso, "iso", {"800"}, "800", "P", "800", iso},
        {SonyA7M4, kGetIris, "f-number", {"f/4"}, "f/4", "P", "f/4", iris},
        // "0/0" is never offered; Bulb is, first, in "M" only, whatever the camera's spelling.
        {SonyA7M4, kGetShutter, "shutterspeed", odd, "30", "M", "30", {"Bulb", "30", "1/250"}},
        {SonyA7M4, kGetShutter, "shutterspeed", odd, "30", "m", "30", {"30", "1/250"}},
        {SonyA7M4, kGetShutter, "shutterspeed", {"30", "1/250"}, "30", "M", "30", {"Bulb", "30", "1/250"}},
        {SonyA7M4, kGetShutter, "shutterspeed", {"30"}, "30", "M", "30", shutter},
        {SonyA7M4, kGetShutter, "shutterspeed", {"30"}, "30", "A", "30", Strings(shutter.begin() + 1, shutter.end())},
        // The generic mode is the program's text and leaves the list alone.
        {SonyZVE10, kGetMode, "expprogram", {"M", "S"}, "S", "P", "S", {"stale"}},
        {SonyZVE10, kGetMode, "expprogram", {"M", "S"}, "", "P", "P", {"stale"}, -1, VF::Typeless,
         "2 Failed to gp_widget_get_value, ret : 0XFFFFFFFE"},
        {Unrecognized, kGetWb, "whitebalance", {"Auto"}, "Auto", "P", "Auto", {"Auto"}},
    });
    const CameraType G = Unrecognized;
    CheckActs({
        {G, {Choices("focusmode", {"Manual", "Automatic", "AF-C"})}, kSetFocus, "AF-S", 0, {"focusmode=Automatic"}},
        {G, {}, kSetFocus, "MF", 0, {"focusmode=Manual"}},                {G, {}, kSetFocus, "AF-C", 0, {"focusmode=AF-C"}},
        {G, {}, kSetIso, "123", -1, {"iso=123"}, {"2 Failed to gp_camera_set_single_config"}},  // no choice
        {G, {}, kRecord, "1", 0, {"movie=1"}},                            {G, {}, kRecord, "0", 0, {"movie=0"}},
        // The touch surface is 1920 x 1080, the driver's 640 x 480.
        {G, {}, kTouch, "960,540", 0, {"kd_touch_focus=(240, 320)"}},     {G, {}, kTouch, "960,-1", 0, {"kd_touch_focus=(0, 320)"}},
        {G, {}, kTouch, "3840,2160", 0, {"kd_touch_focus=(960, 1280)"}},
    });
    // clang-format on
}

TEST(GenericCamera, TheBatteryLevelIsLoggedWhileTheDebugFileExists) {
    const char* debugFile = "/tmp/debug_show_baytterylevel";
    Body body(Unrecognized);
    for (bool file : {true, false}) {
        file ? std::fclose(std::fopen(debugFile, "w")) : std::remove(debugFile);
        EXPECT_EQ(body.camera->GetBatteryLevel(), 0);
        EXPECT_EQ(body.Logged(), file ? Strings{"5 current baytterylevel : 85%"} : Strings{});
    }
}

std::string Created(const std::string& model, int type) {
    return "====== model_str : " + model + ", mode_type : " + std::to_string(type) + "  =======";
}

TEST(CameraFactory, NoOtherSpellingOfAModelMakesACamera) {
    for (const std::string model : {"Canon EOS R6M2", "Nikon Z8 ", "sony alpha-a7 III (PC Control)", ""}) {
        LogCapture log;
        EXPECT_EQ(CameraFactory().CreateCamera(model.c_str(), nullptr, nullptr), nullptr) << model;
        EXPECT_EQ(Logged(log), (Strings{"5 " + Created(model, 0), "2 Failed, unrecog camera, type : 0"}));
    }
    LogCapture log;
    EXPECT_EQ(CameraFactory().CreateCamera(nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

// clang-format off
const Op* const kOps[] = {&kGetFocus, &kSetFocus, &kGetIso, &kSetIso, &kGetIris, &kSetIris, &kGetShutter, &kSetShutter,
                          &kGetMode, &kGetWb, &kSetWb, &kRecord, &kRecordState, &kBattery, &kDispMode, &kTouch};
// clang-format on

TEST(EveryCameraType, IsMadeFromItsModelStringAndWithoutHandlesEveryOperationRefuses) {
    for (const BodyRow& row : kBodies) {
        LogCapture log;
        std::unique_ptr<AbstructCamera> camera = MakeCamera(row.type, nullptr, nullptr);
        ASSERT_EQ(camera->GetCameraType(), row.type);
        // Made from the model string for its type; the R6 and RP put stills on the card when made.
        EXPECT_EQ(log.Count(5, Created(row.model ? row.model : "", row.type)), row.model ? 1 : 0);
        EXPECT_EQ(log.Count(2, "Failed, parameter error"),
                  row.type == CanonEosR6 || row.type == CanonEosRP ? 1 : 0);
        for (const Op* op : kOps) {
            log.Clear();
            CameraParams p = Stale();
            // Only the Nikon reads a display mode; it takes the record state from events alone.
            const bool free = op == (row.type == NikonZ8 || row.type == NikonZ9 ? &kRecordState : &kDispMode);
            EXPECT_EQ(op->run(*camera, p, op->text), free ? 0 : -1) << row.profile << " " << op->name;
            EXPECT_EQ(log.Count(2, "Failed, parameter error"), free ? 0 : 1)
                << row.profile << " " << op->name;
            EXPECT_TRUE(p == Stale()) << row.profile << " " << op->name;
        }
    }
}

// How a failed lookup is worded after "Failed to gp_camera_get_single_config ", per body.
enum Wording {
    No,  // not looked up by this body
    Nm,  // "to get <widget> widget"
    Is,  // "get <widget> widget"
    NR,  // "to get <widget> widget, ret : <code>"
    Rt,  // "to get widget, ret : <code>"
    Pl,  // "to get widget"
    Fo,  // "to get focusmode widget"
    nr,  // as NR, and a read keeps its fields
    rt,  // as Rt, and a read keeps its fields
};
struct LookupRow {
    const Op& op;
    const char* widget;
    std::array<Wording, 13> bodies;  // in the order of kBodies; the Nikon in movie mode
};
// clang-format off
const LookupRow kLookups[] = {
    // A7 III, A7 IV, A7S III, ZV-E10, FX3, FX3A, FX30, ZV-E10 II, R6, R6 II, RP, Z8, Z9:
    //                                        M3  M4  S3  ZV  F3  FA  F30 ZV2 R6  R62 RP  Z8  Z9
    {kGetFocus,   "focusmode",               {Pl, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm}},
    {kSetFocus,   "focusmode",               {NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR}},
    {kGetIso,     "iso",                     {Is, Is, Is, Is, Is, Is, Is, Is, Is, Is, Is, No, No}},
    {kGetIso,     "kd_nikon_movie_iso",      {No, No, No, No, No, No, No, No, No, No, No, Is, Is}},
    {kSetIso,     "iso",                     {NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, No, No}},
    {kSetIso,     "kd_nikon_movie_iso",      {No, No, No, No, No, No, No, No, No, No, No, NR, NR}},
    {kGetIris,    "f-number",                {NR, NR, NR, NR, NR, NR, NR, NR, No, No, No, No, No}},
    {kGetIris,    "aperture",                {No, No, No, No, No, No, No, No, Nm, Fo, Fo, No, No}},
    {kGetIris,    "kd_nikon_movie_f_numer",  {No, No, No, No, No, No, No, No, No, No, No, NR, NR}},
    {kSetIris,    "kd_nikon_movie_f_numer",  {No, No, No, No, No, No, No, No, No, No, No, NR, NR}},
    {kSetIris,    "f-number",                {NR, NR, NR, NR, NR, NR, NR, NR, No, No, No, No, No}},
    {kSetIris,    "aperture",                {No, No, No, No, No, No, No, No, Rt, Rt, Rt, No, No}},
    {kGetShutter, "shutterspeed",            {Rt, nr, nr, nr, Nm, Nm, nr, nr, nr, nr, Fo, No, No}},
    {kGetShutter, "shutterspeed2",           {No, No, No, No, No, No, No, No, No, No, No, nr, nr}},
    {kSetShutter, "shutterspeed",            {Rt, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, No, No}},
    {kSetShutter, "shutterspeed2",           {No, No, No, No, No, No, No, No, No, No, No, NR, NR}},
    {kGetMode,    "expprogram",              {nr, No, No, nr, No, No, No, No, No, No, No, nr, nr}},
    {kGetMode,    "500e",                    {No, Rt, Nm, No, Nm, Nm, Rt, Nm, No, No, No, No, No}},
    {kGetMode,    "eosmovieswitch",          {No, No, No, No, No, No, No, No, Nm, rt, Nm, No, No}},
    {kGetMode,    "autoexposuremode",        {No, No, No, No, No, No, No, No, Nm, rt, Nm, No, No}},
    {kGetWb,      "whitebalance",            {Rt, Rt, Nm, Nm, Nm, Nm, Rt, Nm, Nm, Nm, Nm, NR, NR}},
    {kSetWb,      "whitebalance",            {NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR}},
    {kRecord,     "movie",                   {NR, NR, NR, NR, NR, NR, NR, NR, No, No, No, NR, NR}},
    {kRecord,     "capturetarget",           {No, No, No, No, No, No, No, No, Rt, Nm, Rt, No, No}},
    {kRecord,     "movierecordtarget",       {No, No, No, No, No, No, No, No, Pl, Pl, Pl, No, No}},
    {kRecordState, "movierecordtarget",      {No, No, No, No, No, No, No, No, Nm, Nm, Nm, No, No}},
    {kRecordState, "d21d",                   {Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, No, No, No, No, No}},
    {kBattery,    "batterylevel",            {Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm, Nm}},
    {kDispMode,   "mrb-LiveViewSelector",    {No, No, No, No, No, No, No, No, No, No, No, Nm, Nm}},
    {kTouch,      "eosmovieswitch",          {No, No, No, No, No, No, No, No, No, Rt, No, No, No}},
    {kTouch,      "kd_touch_focus",          {NR, NR, NR, NR, NR, NR, NR, NR, NR, No, NR, NR, NR}},
};
// clang-format on

TEST(EveryBody, AFailedLookupLogsTheLineOfItsOperationAndBody) {
    for (size_t b = 0; b < 13; ++b) {
        Body body(kBodies[b].type);
        body.sim().SetValue("mrb-LiveViewSelector", "1");  // the Nikon records once it has seen movie mode
        CameraParams seen;
        body.camera->QueryCameraDispMode(seen);
        for (const LookupRow& row : kLookups) {
            const Wording wording = row.bodies[b];
            if (wording == No)
                continue;
            SCOPED_TRACE(std::string(kBodies[b].profile) + " " + row.op.name + " " + row.widget);
            const std::string named = std::string("to get ") + row.widget + " widget",
                              ret = ", ret : 0XFFFFFFF9";
            const std::map<Wording, std::string> lines = {
                {Nm, named},           {Is, std::string("get ") + row.widget + " widget"},
                {NR, named + ret},     {Rt, "to get widget" + ret},
                {Pl, "to get widget"}, {Fo, "to get focusmode widget"},
                {nr, named + ret},     {rt, "to get widget" + ret}};
            ASSERT_EQ(body.sim().FailLookup(row.widget, GP_ERROR_IO), 0);
            body.Logged();
            CameraParams p = Stale();
            EXPECT_EQ(row.op.run(*body.camera, p, row.op.text), -1);
            EXPECT_EQ(body.Logged(2),
                      Strings{"2 Failed to gp_camera_get_single_config " + lines.at(wording)});
            if (row.op.value != nullptr) {
                const bool kept = wording == nr || wording == rt;
                EXPECT_EQ(p.*row.op.value, kept ? "stale" : "");
                EXPECT_EQ(p.*row.op.list, kept ? Strings{"stale"} : Strings{});
            }
            body.sim().FailLookup(row.widget, 0);
        }
    }
}

}  // namespace
