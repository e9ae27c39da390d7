// Touch focus of the Canon bodies: the generic point text of the R6 and RP, and the
// R6 Mark II's 600 x 400 conversion with its diff table and the debug override,
// whose fixed paths live in a private tmpfs on /opt for the test.
#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CameraFactory.h"
#include "CameraTestData.h"
#include "LogCapture.h"
#include "PrivateMounts.h"
#include "SimCamera.h"

namespace {

std::string Written(double x, double y, int flag) {
    char text[100];
    std::snprintf(text, sizeof(text), "(%.6f, %.6f) %d", x, y, flag);
    return text;
}

class R6M2Touch : public ::testing::Test {
  protected:
    void SetUp() override {
        session = std::make_unique<SimCamera>("canon-r6m2");
        ASSERT_EQ(session->Status(), 0) << sim().LastError();
        camera = CameraFactory::CreateCameraOfType(CanonEosR6M2, session->GpCamera(), session->Context());
        ASSERT_NE(camera, nullptr);
    }
    camsim::Simulator& sim() { return session->Sim(); }
    // What a touch at (x, y) wrote, with the movie switch at `movieSwitch`.
    std::string Touch(int x, int y, const std::string& movieSwitch = "0") {
        sim().SetValue("eosmovieswitch", movieSwitch);
        sim().SetValue("kd_touch_focus", "");
        EXPECT_EQ(camera->TouchFocus(PackPoint(x, y)), 0) << x << ", " << y;
        return sim().Value("kd_touch_focus").value_or("?");
    }

    std::unique_ptr<SimCamera> session;  // made in SetUp, after any private mounts
    std::unique_ptr<AbstructCamera> camera;
};

TEST_F(R6M2Touch, PointIsScaledToTheTargetSpaceAndCorrectedOnlyInStills) {
    struct TouchCase {
        int x, y;
        const char* movieSwitch;
        const char* written;
    };
    const TouchCase cases[] = {
        {960, 540, "0", "(300.000000, 200.000000) 0"},     // the gap 300..305 has no diff
        {320, 540, "0", "(66.000000, 200.000000) 0"},      // 100 - 34
        {320, 540, "1", "(100.000000, 200.000000) 1"},     // movie: no correction
        {320, 540, "2", "(100.000000, 200.000000) 2"},     // any non-zero switch is no stills
        {320, 540, "x", "(66.000000, 200.000000) 0"},      // no number: stills
        {1600, 0, "0", "(538.000000, 0.000000) 0"},        // 500 + 38
        {-1, 1080, "0", "(-0.312500, 400.000000) 0"},      // left of every row
        {160, -1, "0", "(8.000000, -0.370370) 0"},         // the first row's lower edge: 50 - 42
        {159, 540, "0", "(49.687500, 200.000000) 0"},      // just below it
        {959, 540, "0", "(297.687500, 200.000000) 0"},     // 299.6875 - 2
        {975, 540, "0", "(304.687500, 200.000000) 0"},     // the end of the gap
        {976, 540, "0", "(307.000000, 200.000000) 0"},     // 305 + 2
        {1663, 540, "0", "(557.687500, 200.000000) 0"},    // 519.6875 + 38
        {1664, 540, "0", "(520.000000, 200.000000) 0"},    // the last row's upper edge: none
        {3000, 5000, "0", "(937.500000, 1851.851807) 0"},  // beyond the surface: scaled anyway
    };
    for (const TouchCase& tc : cases) {
        EXPECT_EQ(Touch(tc.x, tc.y, tc.movieSwitch), tc.written)
            << tc.x << ", " << tc.y << " " << tc.movieSwitch;
    }
}

TEST_F(R6M2Touch, EveryRowOfTheDiffTableFromItsLowerToItsUpperEdge) {
    struct Row {
        int lower, upper, diff;
    };
    const Row rows[] = {
        {50, 64, 42},    {64, 80, 40},    {80, 90, 40},    {90, 100, 40},   {100, 110, 34},  {110, 120, 32},
        {120, 130, 32},  {130, 140, 28},  {140, 150, 26},  {150, 160, 26},  {160, 170, 24},  {170, 180, 24},
        {180, 190, 19},  {190, 200, 17},  {200, 210, 17},  {210, 220, 14},  {220, 230, 14},  {230, 240, 12},
        {240, 250, 10},  {250, 260, 8},   {260, 270, 6},   {270, 280, 3},   {280, 290, 2},   {290, 300, 2},
        {305, 310, -2},  {310, 320, -2},  {320, 330, -3},  {330, 340, -4},  {340, 350, -6},  {350, 360, -8},
        {360, 370, -10}, {370, 380, -14}, {380, 390, -16}, {390, 400, -16}, {400, 410, -20}, {410, 420, -20},
        {420, 430, -22}, {430, 440, -24}, {440, 450, -26}, {450, 460, -28}, {460, 470, -30}, {470, 480, -32},
        {480, 490, -34}, {490, 500, -36}, {500, 510, -38}, {510, 520, -38},
    };
    // One host step moves 0.3125 in the target space: the first and last host x inside each row.
    for (const Row& row : rows) {
        const int first = static_cast<int>(std::ceil(row.lower / 0.3125));
        const int last = static_cast<int>(std::ceil(row.upper / 0.3125)) - 1;
        for (int x : {first, last}) {
            EXPECT_EQ(Touch(x, 0), Written(x * 0.3125 - row.diff, 0, 0))
                << "row " << row.lower << ".." << row.upper;
        }
    }
}

TEST_F(R6M2Touch, StepsAreLoggedInOrder) {
    LogCapture log;
    EXPECT_EQ(Touch(320, 540), "(66.000000, 200.000000) 0");
    EXPECT_EQ(log.Messages(), (Strings{"point (320, 540)", "===== m_isVideoMode : 0 ====",
                                       "==== 微调前坐标 (100.00, 200.00), diff : 34 ====",
                                       "转换后坐标 (66.00, 200.00)", "point : (66.000000, 200.000000) 0"}));
}

TEST_F(R6M2Touch, FailuresBeforeTheWriteEndTheTouchAndFailedWritesAreOnlyLogged) {
    struct FailureCase {
        const char* widget;
        camsim::ValueFault fault;  // None: the lookup fails
        bool failSet;
        int result;
        const char* message;
    };
    const FailureCase cases[] = {
        {"eosmovieswitch", camsim::ValueFault::None, false, -1,
         "Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"},
        {"eosmovieswitch", camsim::ValueFault::NoValue, false, -1, "Failed to gp_widget_get_value, ret : 0"},
        {"kd_touch_focus", camsim::ValueFault::None, false, 0,
         "Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"},
        {"kd_touch_focus", camsim::ValueFault::None, true, 0, "Failed to gp_camera_set_single_config"},
    };
    for (const FailureCase& fc : cases) {
        sim().ClearFaults();
        if (fc.failSet) {
            sim().FailSet(fc.widget, GP_ERROR_IO);
        } else if (fc.fault == camsim::ValueFault::None) {
            sim().FailLookup(fc.widget, GP_ERROR_IO);
        } else {
            sim().SetValueFault(fc.widget, fc.fault);
        }
        sim().SetValue("kd_touch_focus", "");
        LogCapture log;
        EXPECT_EQ(camera->TouchFocus(PackPoint(320, 540)), fc.result) << fc.message;
        EXPECT_TRUE(log.Has(2, fc.message)) << fc.message;
        EXPECT_EQ(sim().Value("kd_touch_focus"), "");
    }
}

TEST(CanonGenericTouch, R6AndRPSendWholeNumbersOnTheBaseExtent) {
    for (CameraType type : {CanonEosR6, CanonEosRP}) {
        SimCamera session(type == CanonEosR6 ? "canon-r6" : "canon-rp");
        std::unique_ptr<AbstructCamera> camera =
            CameraFactory::CreateCameraOfType(type, session.GpCamera(), session.Context());
        session.Sim().ClearReceived();
        EXPECT_EQ(camera->TouchFocus(PackPoint(960, 540)), 0);
        EXPECT_EQ(session.Sim().Received(), Strings{"kd_touch_focus=(240, 320)"}) << type;
        EXPECT_EQ(session.Sim().Value("eosmovieswitch"), "0");
        session.Sim().FailLookup("kd_touch_focus", GP_ERROR_IO);
        LogCapture log;
        EXPECT_EQ(camera->TouchFocus(PackPoint(960, 540)), -1);
        EXPECT_TRUE(log.Has(
            2, "Failed to gp_camera_get_single_config to get kd_touch_focus widget, ret : 0XFFFFFFF9"));
    }
}

// The device's debug directory, in a tmpfs only this test process sees.
class R6M2TouchOverride : public R6M2Touch {
  protected:
    void SetUp() override {
        if (!mounts.Ok())
            GTEST_SKIP() << "no private /opt: " << mounts.Error();
        ASSERT_EQ(::mkdir("/opt/firmware", 0755), 0);
        ASSERT_EQ(::mkdir("/opt/firmware/debug", 0755), 0);
        R6M2Touch::SetUp();
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(std::string("/opt/firmware/debug/") + name) << text;
    }
    static std::string Manual(int diff) { return "==== 手动调整 diff : " + std::to_string(diff) + " ===="; }

    PrivateMounts mounts{"/opt"};  // before the camera: entering needs a single-threaded process
};

TEST_F(R6M2TouchOverride, DiffFileReplacesTheTableWhileTheMarkerExists) {
    struct OverrideCase {
        bool marker;
        const char* diffFile;  // nullptr: no file
        int x;
        const char* movieSwitch;
        double tx;
        const char* logged;  // the override's line, or nullptr for none
    };
    const OverrideCase cases[] = {
        {true, "10\n", 320, "0", 90, "10"},
        {true, "-7", 320, "0", 107, "-7"},           // read anew at every touch
        {true, "000000012345", 320, "0", 88, "12"},  // nine characters at most
        {true, "abc", 320, "0", 100, "0"},
        {true, "", 320, "0", 100, "0"},
        {true, "10", 960, "0", 300, nullptr},    // no row: the file is not read
        {true, "10", 320, "1", 100, nullptr},    // movie: no correction at all
        {false, "10", 320, "0", 66, nullptr},    // no marker: the table's 34
        {true, nullptr, 320, "0", 66, nullptr},  // no file: the table's 34
    };
    for (const OverrideCase& oc : cases) {
        std::remove("/opt/firmware/debug/test");
        std::remove("/opt/firmware/debug/diff.txt");
        if (oc.marker)
            Write("test", "");
        if (oc.diffFile != nullptr)
            Write("diff.txt", oc.diffFile);
        LogCapture log;
        EXPECT_EQ(Touch(oc.x, 540, oc.movieSwitch), Written(oc.tx, 200, oc.movieSwitch[0] - '0'))
            << (oc.diffFile ? oc.diffFile : "(none)");
        int manualLines = 0;
        for (const std::string& m : log.Messages())
            manualLines += m.find("手动调整") != std::string::npos ? 1 : 0;
        EXPECT_EQ(manualLines, oc.logged != nullptr ? 1 : 0);
        if (oc.logged != nullptr) {
            EXPECT_TRUE(log.Has(5, Manual(std::stoi(oc.logged)))) << oc.logged;
        }
    }
}

}  // namespace
