// camera-host driving a simulated Nikon Z8 or Z9 as a user would: photo mode,
// movie mode chosen on the camera, ISO in both, recording on and off.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "CamSim.h"
#include "HostRecords.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

const std::string kHost = CAMERA_HOST_PATH;

struct Model {
    const char* model;
    int type;
    const char* name;
};

void PrintTo(const Model& m, std::ostream* os) {
    *os << m.model;
}

class NikonHostTest : public ::testing::TestWithParam<Model> {
  protected:
    TempDir dir{"nikon-e2e"};
};

TEST_P(NikonHostTest, PhotoAndMovieModeIsoAndRecording) {
    const Model& m = GetParam();
    Process host({kHost, "--simulate", m.model, "--state-dir", dir.Path(), "--json"});
    ASSERT_TRUE(host.Started());
    ASSERT_TRUE(host.WaitForOutput("\"connectState\":1", 15000)) << host.Out() << host.Err();
    camsim::Simulator sim(dir.Path());

    int at = WaitForRecord(host, 0, [](const json& r) { return r["connectState"] == 1; });
    ASSERT_GE(at, 0) << host.Out();
    json first = Records(host)[static_cast<size_t>(at)];
    EXPECT_EQ(first["event"], 9000);
    EXPECT_EQ(first["cameraType"], m.type);
    EXPECT_EQ(first["cameraName"], m.name);
    EXPECT_EQ(first["dispMode"], false);
    EXPECT_EQ(first["mode"], "P");
    EXPECT_EQ(first["iso"], "100");
    EXPECT_EQ(first["supportedIso"].get<Strings>(), sim.Choices("kd_nikon_photo_iso"));
    EXPECT_EQ(first["iris"], "f/4");
    EXPECT_EQ(first["supportedIris"].get<Strings>(), sim.Choices("f-number"));
    EXPECT_EQ(first["shutterSpeed"], "1/250");
    EXPECT_EQ(first["supportedShutterSpeed"].get<Strings>(), sim.Choices("shutterspeed2"));
    EXPECT_EQ(first["focusMode"], "AF-S");
    EXPECT_EQ(first["supportedFocusMode"].get<Strings>(), (Strings{"MF", "AF-S", "AF-C", "AF-F"}));
    EXPECT_EQ(first["whiteBalance"], "Automatic");
    EXPECT_EQ(first["supportedWhiteBalance"].get<Strings>(),
              (Strings{"Automatic", "Natural light auto", "Daylight", "Cloudy", "Shade", "Tungsten",
                       "Fluorescent", "Flash", "Color Temperature", "Preset"}));

    // One step at a time; the camera's own report of a change is awaited too, so
    // that it cannot overtake the next request.
    auto step = [&](const std::function<void()>& act, const std::function<bool(const json&)>& wanted) {
        size_t seen = Records(host).size();
        act();
        int found = WaitForRecord(host, seen, wanted);
        EXPECT_TRUE(Eventually([&] { return sim.PendingEvents() == 0; }, 5000));
        return found < 0 ? json() : Records(host)[static_cast<size_t>(found)];
    };

    json r =
        step([&] { host.Write("record 1\niso 800\n"); }, [](const json& j) { return j["iso"] == "800"; });
    EXPECT_EQ(r["recordEnable"], false) << "no recording in photo mode";

    r = step([&] { ASSERT_EQ(sim.ChangeOnCamera("mrb-LiveViewSelector", "1"), 0); },
             [](const json& j) { return j["dispMode"] == true; });
    EXPECT_EQ(r["iso"], "Auto") << r.dump();
    EXPECT_EQ(r["supportedIso"].get<Strings>(), sim.Choices("kd_nikon_movie_iso"));
    EXPECT_EQ(r["iris"], "f/2.8");
    EXPECT_EQ(r["supportedIris"].get<Strings>(), sim.Choices("kd_nikon_movie_f_numer"));
    // A mode reported by event brings the reads that depend on it: in M the camera's movie ISO.
    for (const char* mode : {"M", "P"}) {
        r = step([&] { ASSERT_EQ(sim.ChangeOnCamera("expprogram", mode), 0); },
                 [mode](const json& j) { return j["mode"] == mode; });
        EXPECT_EQ(r["iso"],
                  std::string(mode) == "M" ? sim.Value("kd_nikon_movie_iso").value_or("?") : "Auto");
    }

    r = step([&] { host.Write("iso 1600\n"); }, [](const json& j) { return j["iso"] == "1600"; });
    EXPECT_EQ(r["dispMode"], true);
    r = step([&] { host.Write("record 1\n"); }, [](const json& j) { return j["recordEnable"] == true; });
    EXPECT_EQ(r["iso"], "1600");
    r = step([&] { host.Write("record 0\n"); }, [](const json& j) { return j["recordEnable"] == false; });
    EXPECT_EQ(r["connectState"], 1);

    host.CloseInput();
    ASSERT_EQ(host.Wait(15000), 0) << host.Err();
    std::vector<json> all = JsonLines(host.Out());
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back()["recordEnable"], false);
    for (const json& record : all) {
        EXPECT_EQ(record["event"], 9000);
        EXPECT_EQ(record["cameraType"], m.type);
    }

    Strings received = sim.Received();
    Strings sets;
    std::copy_if(received.begin(), received.end(), std::back_inserter(sets),
                 [](const std::string& s) { return s.rfind("applicationmode=", 0) != 0; });
    EXPECT_EQ(sets, (Strings{"kd_nikon_photo_iso=800", "kd_nikon_movie_iso=1600", "movie=1", "movie=0"}));
    EXPECT_EQ(std::count(received.begin(), received.end(), "applicationmode=1"), 2)
        << "at connection and after the stop";
    EXPECT_EQ(received.back(), "applicationmode=1");
    EXPECT_NE(host.Err().find("Failed, current is not record mode"), std::string::npos) << host.Err();
    EXPECT_NE(host.Err().find("Enter EnableRecord \n"), std::string::npos) << "the trace line reaches stderr";
}

INSTANTIATE_TEST_SUITE_P(Models, NikonHostTest,
                         ::testing::Values(Model{"Nikon Z8", 13, "NikonZ8"},
                                           Model{"Nikon Z9", 14, "NikonZ9"}),
                         [](const ::testing::TestParamInfo<Model>& p) { return std::string(p.param.name); });

}  // namespace
