// Sony A7 III lists, filtered by choice position and exposure program.
#include "SonyA7M3Camera.h"

#include <gphoto2/gphoto2-result.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "CameraTestData.h"
#include "LogCapture.h"
#include "SimCamera.h"

namespace {

Strings Numbered(const std::string& stem, int count) {
    Strings out;
    for (int i = 0; i < count; ++i)
        out.push_back(stem + std::to_string(i));
    return out;
}

class SonyA7M3Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(session.Status(), 0) << sim().LastError();
        camera.reset(new SonyA7M3Camera(session.GpCamera(), session.Context(), SonyA7M3));
    }
    camsim::Simulator& sim() { return session.Sim(); }

    SimCamera session{"sony-a7m3"};
    std::unique_ptr<SonyA7M3Camera> camera;
    LogCapture log;
};

TEST_F(SonyA7M3Test, FocusListDependsOnPositionAndModeGroup) {
    sim().SetChoices("focusmode", {"Manual", "Automatic", "X", "Y", "Z", "Sixth"});
    sim().SetValue("focusmode", "Manual");
    const std::vector<std::pair<std::string, Strings>> cases = {
        {"P", {"AF-S", "Y", "X", "Z", "MF"}},
        {"M", {"AF-S", "Y", "X", "Z", "MF"}},
        {"Movie (M)", {"X", "MF"}},
        {"S&Q", {"X", "MF"}},
        {"Unknown value 8087", {"X", "MF"}},
        {"Sports Action", {"X", "Z", "MF"}},
        {"Portrait", {"AF-S", "Z", "MF"}},
        {"Night Scene", {"AF-S", "Z", "MF"}},
        {"Intelligent Auto", {"AF-S", "Y", "X", "Z", "MF"}},
    };
    for (const auto& c : cases) {
        CameraParams p = InMode(c.first);
        EXPECT_EQ(camera->GetFocusModeParam(p), 0) << c.first;
        EXPECT_EQ(p.focusMode, "MF");
        EXPECT_EQ(p.supportedFocusMode, c.second) << c.first;
    }
}

TEST_F(SonyA7M3Test, FocusPositionsZeroAndOneAreNamedWhateverTheirTexts) {
    sim().SetChoices("focusmode", {"Whatever", "Other", "DMF"});
    sim().SetValue("focusmode", "Automatic");
    CameraParams p = InMode("P");
    EXPECT_EQ(camera->GetFocusModeParam(p), 0);
    EXPECT_EQ(p.focusMode, "AF-S");
    EXPECT_EQ(p.supportedFocusMode, (Strings{"AF-S", "DMF", "MF"}));

    sim().SetValue("focusmode", "Undefined");
    EXPECT_EQ(camera->GetFocusModeParam(p), -1);
    EXPECT_TRUE(p.focusMode.empty());
    EXPECT_TRUE(p.supportedFocusMode.empty());

    sim().FailLookup("focusmode", GP_ERROR_IO);
    EXPECT_EQ(camera->GetFocusModeParam(p), -1);
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get widget"));
}

// Positions are numbered choices ("s0", "s1", ...); -1 stands for "Bulb".
std::vector<int> Positions(const Strings& list) {
    std::vector<int> out;
    for (const std::string& s : list)
        out.push_back(s == "Bulb" ? -1 : std::stoi(s.substr(s.find_first_of("0123456789"))));
    return out;
}

std::vector<int> Span(std::vector<int> v, int from, int to) {
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

TEST_F(SonyA7M3Test, IsoKeepsPositionsByModeGroup) {
    sim().SetChoices("iso", Numbered("iso", 40));
    sim().SetValue("iso", "iso7");
    for (const char* mode : {"P", "Movie (P)", "S&Q"}) {
        CameraParams p = InMode(mode);
        EXPECT_EQ(camera->GetIsoParam(p), 0);
        EXPECT_EQ(p.iso, "iso7");
        EXPECT_EQ(Positions(p.supportedIso), mode[0] == 'P' ? Span({0}, 2, 38) : Span({0}, 5, 35)) << mode;
    }
    sim().SetChoices("iso", {"AUTO"});
    CameraParams p = InMode("P");
    EXPECT_EQ(camera->GetIsoParam(p), 0);
    EXPECT_EQ(p.supportedIso, Strings{"AUTO"}) << "no fallback list on this camera";
}

TEST_F(SonyA7M3Test, ShutterPositionsByModeGroup) {
    sim().SetChoices("shutterspeed", Numbered("s", 62));
    sim().SetValue("shutterspeed", "s40");
    const std::vector<std::pair<const char*, std::vector<int>>> cases = {
        {"P", Span(Span({}, 0, 54), 61, 61)},
        {"M", Span(Span({-1}, 0, 54), 61, 61)},
        {"Movie (S)", Span(Span({}, 21, 54), 61, 61)},
        {"Unknown value 8085", Span(Span({}, 33, 54), 61, 61)},
        {"Portrait", Span({}, 0, 61)},
    };
    for (const auto& c : cases) {
        CameraParams p = InMode(c.first);
        EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
        EXPECT_EQ(p.shutterSpeed, "s40");
        EXPECT_EQ(Positions(p.supportedShutterSpeed), c.second) << c.first;
    }
}

TEST_F(SonyA7M3Test, ShutterBulbRuleAndFallback) {
    sim().SetChoices("shutterspeed", {"1/100"});
    CameraParams p = InMode("M");
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, kFixedShutter);
    p = InMode("P");
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, kFixedShutterNoBulb);

    sim().SetChoices("shutterspeed", {"30", "BULB", "1/250"});
    p = InMode("A");
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"30", "1/250"}));
    p = InMode("M");
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"Bulb", "30", "1/250"}));

    sim().SetChoices("shutterspeed", {"30", "1/250"});
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0);
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"Bulb", "30", "1/250"}));
}

TEST_F(SonyA7M3Test, ShutterReadFailuresAndGuard) {
    sim().SetValueFault("shutterspeed", camsim::ValueFault::NoValue);
    sim().SetChoices("shutterspeed", {"1/50", "1/100"});
    CameraParams p = InMode("P");
    p.shutterSpeed = "stale";
    EXPECT_EQ(camera->GetShutterSpeedParam(p), 0) << "a NULL text is a successful read of nothing";
    EXPECT_TRUE(p.shutterSpeed.empty());
    EXPECT_EQ(p.supportedShutterSpeed, (Strings{"1/50", "1/100"}));

    sim().SetValueFault("shutterspeed", camsim::ValueFault::Typeless);
    EXPECT_LT(camera->GetShutterSpeedParam(p), 0) << "the value-read status is passed on";
    EXPECT_EQ(p.supportedShutterSpeed, kFixedShutterNoBulb) << "the list is built all the same";

    sim().FailLookup("shutterspeed", GP_ERROR_IO);
    p.supportedShutterSpeed = {"stale"};
    EXPECT_EQ(camera->GetShutterSpeedParam(p), -1);
    EXPECT_TRUE(p.supportedShutterSpeed.empty()) << "cleared before the lookup";
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get widget, ret : 0XFFFFFFF9"));

    SonyA7M3Camera unguarded(nullptr, nullptr, SonyA7M3);
    EXPECT_EQ(unguarded.SetShutterSpeedParam("1/250"), -1);
    EXPECT_EQ(log.Count(2, "Failed, parameter error"), 1);
}

TEST_F(SonyA7M3Test, ShutterSetIsConfirmedByReadingItBack) {
    sim().SetChoices("shutterspeed", {"1/200", "1/250"});
    sim().SetValue("shutterspeed", "1/200");
    sim().ClearReceived();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(camera->SetShutterSpeedParam("1/250"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
    EXPECT_EQ(sim().Received(), Strings{"shutterspeed=1/250"});

    sim().SetValue("shutterspeed", "1/200");
    ASSERT_EQ(sim().SetStubborn("shutterspeed", true), 0);
    log.Clear();
    EXPECT_EQ(camera->SetShutterSpeedParam("1/250"), -1);
    EXPECT_EQ(sim().Value("shutterspeed").value_or(""), "1/200");
    EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_get_single_config to get widget"});

    log.Clear();
    EXPECT_EQ(camera->SetShutterSpeedParam("1/3"), -1) << "not a choice: refused by the camera";
    EXPECT_EQ(log.Messages(), Strings{"Failed to gp_camera_set_single_config"});
}

TEST_F(SonyA7M3Test, IrisSetSendsTheTextWithoutAGuard) {
    sim().SetChoices("f-number", {"f/2.8", "f/4"});
    sim().ClearReceived();
    EXPECT_EQ(camera->SetIrisParam("f/4"), 0);
    EXPECT_EQ(sim().Received(), Strings{"f-number=f/4"});
    sim().FailLookup("f-number", GP_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(camera->SetIrisParam("f/2.8"), -1);
    EXPECT_TRUE(log.Has(2, "Failed to gp_camera_get_single_config to get f-number widget, ret : 0XFFFFFFFA"));
}

}  // namespace
