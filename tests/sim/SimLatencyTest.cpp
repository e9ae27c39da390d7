// The simulated camera's latency model: the time of each request, of opening the camera and
// of a written value settling, from a profile or set at run time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>

#include "CamSim.h"
#include "GpCamera.h"
#include "SimTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Only lower bounds are exact; the upper ones only catch a call that hangs.
constexpr long kHang = 10000;

class SimLatency : public ::testing::Test {
  protected:
    void Plug(const std::string& model) { ASSERT_EQ(sim.Plug(model), GP_OK) << sim.LastError(); }
    void SetLatency(int transactionMs, int openMs, int settleMs) {
        camsim::LatencyModel l;
        l.transactionMs = transactionMs;
        l.openMs = openMs;
        l.settleMs = settleMs;
        ASSERT_EQ(sim.SetLatency(l), GP_OK) << sim.LastError();
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir.Path() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    static std::vector<int> Figures(const camsim::LatencyModel& l) {
        return {l.transactionMs, l.openMs, l.settleMs};
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

TEST_F(SimLatency, ThePluggedProfilesAnswerAtOnce) {
    for (const char* profile : {"sony-a7m3", "canon-r6", "nikon-z8"}) {
        Plug(profile);
        std::optional<camsim::LatencyModel> l = sim.Latency();
        ASSERT_TRUE(l.has_value()) << profile;
        EXPECT_EQ(Figures(*l), (std::vector<int>{0, 0, 0})) << profile;
    }
    EXPECT_EQ(Figures(camsim::RealisticLatencyModel()), (std::vector<int>{3, 1000, 50}));
}

TEST_F(SimLatency, EveryRequestTakesOneTransaction) {
    Plug("sony-a7m3");
    GpCamera cam;
    ASSERT_EQ(cam.Value("iso"), "AUTO");  // opened before the delays apply
    SetLatency(120, 0, 0);
    struct Case {
        const char* what;
        std::function<void()> call;
        int transactions;
    };
    const Case cases[] = {
        {"widget read", [&] { EXPECT_EQ(cam.Value("iso"), "AUTO"); }, 1},
        {"whole tree",
         [&] {
             CameraWidget* tree = nullptr;
             EXPECT_EQ(gp_camera_get_config(cam.Get(), &tree, cam.Context()), GP_OK);
             gp_widget_free(tree);
         },
         1},
        {"read and write", [&] { EXPECT_EQ(cam.SetText("iso", "800"), GP_OK); }, 2},
        {"refused write", [&] { EXPECT_EQ(cam.SetText("iso", "7"), GP_ERROR_BAD_PARAMETERS); }, 2},
        {"event poll with an event due", [&] { EXPECT_EQ(cam.Wait(5000).type, 13); }, 1},
        {"event poll until its time-out", [&] { EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT); }, 1},
    };
    for (const Case& c : cases) {
        auto start = Clock::now();
        c.call();
        long took = MsSince(start);
        EXPECT_GE(took, 120L * c.transactions) << c.what;
        EXPECT_LT(took, kHang) << c.what;
    }
}

TEST_F(SimLatency, OpeningTheCameraTakesTheOpenDelayOnce) {
    Plug("nikon-z8");
    SetLatency(0, 2500, 0);
    GpCamera cam;
    auto start = Clock::now();
    EXPECT_EQ(cam.Value("kd_nikon_photo_iso"), "100");
    EXPECT_GE(MsSince(start), 2500);
    start = Clock::now();
    EXPECT_EQ(cam.Value("kd_nikon_photo_iso"), "100");
    EXPECT_LT(MsSince(start), 1500) << "an open camera is not opened again";
    ASSERT_EQ(sim.Unplug(), GP_OK);
    start = Clock::now();
    EXPECT_EQ(cam.Value("kd_nikon_photo_iso"), "") << "unplugged: the request fails";
    EXPECT_LT(MsSince(start), 1500) << "a camera that is gone does not answer late";
}

TEST_F(SimLatency, AWrittenValueTakesEffectWithItsEventOnceSettled) {
    Plug("sony-a7m3");
    ASSERT_EQ(sim.SetSettleDelay(500), GP_OK);
    GpCamera cam;
    auto written = Clock::now();
    ASSERT_EQ(cam.SetText("iso", "1600"), GP_OK);
    EXPECT_EQ(cam.Value("iso"), "AUTO") << "not yet in effect";
    EXPECT_EQ(sim.Value("iso"), "AUTO");
    EXPECT_EQ(cam.Wait(20).type, GP_EVENT_TIMEOUT);
    GpEvent e = cam.Wait(kHang);
    EXPECT_GE(MsSince(written), 500);
    EXPECT_EQ(e.type, 13);
    EXPECT_EQ(e.Int32(), 1600);
    EXPECT_EQ(cam.Value("iso"), "1600") << "in effect when reported";
    EXPECT_EQ(sim.Value("iso"), "1600");
    EXPECT_THAT(sim.Received(), ::testing::ElementsAre("iso=1600"));
}

TEST_F(SimLatency, ValuesWrittenWhileSettlingTakeEffectInOrder) {
    Plug("sony-a7m3");
    SetLatency(0, 0, 400);
    GpCamera cam;
    ASSERT_EQ(cam.SetText("iso", "1600"), GP_OK);
    ASSERT_EQ(cam.SetText("iso", "AUTO"), GP_OK) << "back to the value still shown";
    ASSERT_EQ(cam.SetText("f-number", "f/8"), GP_OK);
    EXPECT_EQ(cam.SetText("iso", "AUTO"), GP_OK);  // the value to come already: no event
    std::vector<int> types;
    for (GpEvent e = cam.Wait(kHang); e.type != GP_EVENT_TIMEOUT; e = cam.Wait(1000))
        types.push_back(e.type);
    // "AUTO" is no number: reported as the property's change.
    EXPECT_EQ(types, (std::vector<int>{13, GP_EVENT_UNKNOWN, 11}));
    EXPECT_EQ(cam.Value("iso"), "AUTO");
    EXPECT_EQ(cam.Value("f-number"), "f/8");
}

TEST_F(SimLatency, ACameraSideChangeWinsOverAValueStillSettling) {
    Plug("sony-a7m3");
    SetLatency(0, 0, 300);
    GpCamera cam;
    ASSERT_EQ(cam.SetText("iso", "1600"), GP_OK);
    ASSERT_EQ(sim.SetValue("iso", "400"), GP_OK);
    ASSERT_EQ(cam.SetText("f-number", "f/8"), GP_OK);
    ASSERT_EQ(sim.ChangeOnCamera("f-number", "f/2.8"), GP_OK);
    EXPECT_EQ(cam.Wait(kHang).type, 11) << "the dial's event comes at once";
    EXPECT_EQ(cam.Wait(kHang).type, 13);
    EXPECT_EQ(cam.Wait(kHang).type, 11);
    EXPECT_EQ(cam.Value("iso"), "400");
    EXPECT_EQ(cam.Value("f-number"), "f/2.8");
}

TEST_F(SimLatency, ProfilesGiveAPresetAndSingleFigures) {
    struct Case {
        const char* keys;
        std::vector<int> figures;  // transaction, open, settle
    };
    const Case cases[] = {
        {R"("latency": "realistic")", {3, 1000, 50}},
        {R"("latency": "realistic", "settle_ms": 0)", {3, 1000, 0}},
        {R"("latency": "zero", "open_ms": 20)", {0, 20, 0}},
        {R"("transaction_ms": 7, "settle_ms": 9)", {7, 0, 9}},
    };
    for (const Case& c : cases) {
        std::string path = Write("timed.json", std::string(R"({"model": "Nikon Z8", )") + c.keys + "}");
        ASSERT_EQ(sim.Plug(path), GP_OK) << c.keys << ": " << sim.LastError();
        std::optional<camsim::LatencyModel> l = sim.Latency();
        ASSERT_TRUE(l.has_value());
        EXPECT_EQ(Figures(*l), c.figures) << c.keys;
    }
    const std::pair<const char*, const char*> refused[] = {
        {R"("latency": "fast")", R"("latency" must be "zero" or "realistic")"},
        {R"("latency": 3)", R"("latency" must be "zero" or "realistic")"},
        {R"("open_ms": -1)", R"("open_ms" must be an integer from 0 to 3600000)"},
        {R"("transaction_ms": "3")", R"("transaction_ms" must be an integer from 0 to 3600000)"},
        {R"("settle_ms": 3600001)", R"("settle_ms" must be an integer from 0 to 3600000)"},
    };
    for (const auto& r : refused) {
        std::string path = Write("bad.json", std::string(R"({"model": "Nikon Z8", )") + r.first + "}");
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << r.first;
        EXPECT_THAT(sim.LastError(), HasSubstr(r.second)) << r.first;
    }
    camsim::LatencyModel negative;
    negative.openMs = -5;
    EXPECT_EQ(sim.SetLatency(negative), GP_ERROR_BAD_PARAMETERS);
    SetLatency(7, 8, 9);
    ASSERT_EQ(sim.SetSettleDelay(400), GP_OK);
    EXPECT_EQ(Figures(*sim.Latency()), (std::vector<int>{7, 8, 400})) << "the settle delay alone";
    EXPECT_EQ(sim.SetSettleDelay(-1), GP_ERROR_BAD_PARAMETERS);
}

}  // namespace
