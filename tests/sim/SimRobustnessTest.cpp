// The simulator under abuse: floods of sets, writers in several processes, event blocks the
// receiver would read past, numbers no encoding holds, and profiles or states it must refuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CamSim.h"
#include "GpCamera.h"
#include "Process.h"
#include "SimTestDir.h"

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::string kCamsim = CAMSIM_TOOL;

class SimRobustness : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK) << sim.LastError(); }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir.Path() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    long StateBytes() {
        struct stat st;
        return stat((dir.Path() + "/state.json").c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }
    Process Camsim(std::vector<std::string> args) {
        args.insert(args.begin(), {kCamsim, "--state-dir", dir.Path()});
        return Process(args);
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

// --- the received log ---

TEST_F(SimRobustness, ReceivedKeepsEachWritersOrderAcrossProcesses) {
    GpCamera cam;
    ASSERT_EQ(cam.SetText("iso", "800"), GP_OK);
    ASSERT_EQ(cam.SetText("f-number", "f/99"), GP_ERROR_BAD_PARAMETERS);  // refused, still received
    const int kSets = 40;
    std::vector<pid_t> children;
    for (const char* tag : {"a", "b"}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failed = 0;
            {
                GpCamera child;
                for (int i = 0; i < kSets; ++i)
                    failed += child.SetText("kd_touch_focus", tag + std::to_string(i)) != GP_OK;
            }
            _exit(failed == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (int i = 0; i < kSets; ++i)
        EXPECT_EQ(cam.SetText("kd_touch_focus", "p" + std::to_string(i)), GP_OK);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    std::vector<std::string> got = sim.Received();
    ASSERT_EQ(got.size(), 2u + 3 * kSets);
    EXPECT_EQ(got[0], "iso=800");
    EXPECT_EQ(got[1], "f-number=f/99");
    for (const char* tag : {"a", "b", "p"}) {
        std::vector<std::string> mine, expected;
        for (const std::string& entry : got) {
            if (entry.rfind(std::string("kd_touch_focus=") + tag, 0) == 0)
                mine.push_back(entry);
        }
        for (int i = 0; i < kSets; ++i)
            expected.push_back(std::string("kd_touch_focus=") + tag + std::to_string(i));
        EXPECT_EQ(mine, expected) << tag;
    }

    Process reader = Camsim({"received"});
    ASSERT_EQ(reader.Wait(10000), 0) << reader.Err();
    std::string lines;
    for (const std::string& entry : got)
        lines += entry + "\n";
    EXPECT_EQ(reader.Out(), lines);
}

TEST_F(SimRobustness, ReceivedIsEmptiedByClearAndByANewPlugAndKeepsOddValuesWhole) {
    GpCamera cam;
    ASSERT_EQ(cam.SetText("kd_touch_focus", "a\\nb\nc\\"), GP_OK);
    EXPECT_THAT(sim.Received(), ElementsAre("kd_touch_focus=a\\nb\nc\\"));
    Process clear = Camsim({"received", "--clear"});
    ASSERT_EQ(clear.Wait(10000), 0) << clear.Err();
    EXPECT_TRUE(sim.Received().empty());
    ASSERT_EQ(cam.SetText("iso", "100"), GP_OK);
    EXPECT_THAT(sim.Received(), ElementsAre("iso=100"));
    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(SimRobustness, AFloodOfSetsDoesNotGrowTheStateFile) {
    const long before = StateBytes();
    ASSERT_GT(before, 0);
    GpCamera cam;
    const int kFlood = 1000;
    for (int i = 0; i < kFlood; ++i) {
        ASSERT_EQ(cam.SetText("iso", i % 2 ? "200" : "100"), GP_OK) << i;
        if (i % 100 == 99) {
            ASSERT_EQ(sim.ClearEvents(), GP_OK);  // as the host would take them
        }
    }
    ASSERT_EQ(sim.ClearEvents(), GP_OK);
    // Only the ISO value differs from the plugged state ("AUTO" -> "200").
    EXPECT_LE(StateBytes(), before + 8);
    std::vector<std::string> got = sim.Received();
    ASSERT_EQ(got.size(), static_cast<size_t>(kFlood));
    EXPECT_EQ(got.front(), "iso=100");
    EXPECT_EQ(got.back(), "iso=200");
}

// --- event blocks the receiver reads at fixed sizes ---

TEST_F(SimRobustness, DriverEventBlocksShorterThanTheReceiverReadsAreRefused) {
    struct Case {
        int type;
        size_t size;
        const char* reads;  // what the receiver reads, and where
    };
    const Case cases[] = {
        {10, 24, "the recording state at bytes 20 to 23"},
        {11, 4, "the aperture x100 at bytes 0 to 3"},
        {12, 4, "the white-balance code at bytes 0 to 3"},
        {13, 4, "the ISO value at bytes 0 to 3"},
        {15, 4, "the focus-mode code at bytes 0 to 3"},
        {16, 8, "the shutter speed's numerator and denominator at bytes 0 to 7"},
        {17, 2, "the exposure-program code at bytes 0 and 1"},
    };
    size_t accepted = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(sim.QueueEvent(c.type, std::vector<uint8_t>(c.size - 1, 1)), GP_ERROR_BAD_PARAMETERS)
            << c.type;
        EXPECT_EQ(sim.LastError(), "event type " + std::to_string(c.type) +
                                       " needs a data block of at least " + std::to_string(c.size) +
                                       " bytes (the receiver reads " + c.reads + "), not " +
                                       std::to_string(c.size - 1));
        EXPECT_EQ(sim.QueueEvent(c.type, {}), GP_ERROR_BAD_PARAMETERS) << c.type;
        EXPECT_EQ(sim.QueueEvent(c.type, std::vector<uint8_t>(c.size, 1)), GP_OK) << c.type;
        EXPECT_EQ(sim.QueueEvent(c.type, std::vector<uint8_t>(c.size + 3, 1)), GP_OK) << c.type;
        accepted += 2;
    }
    EXPECT_EQ(sim.QueueTextEvent(13, "x"), GP_ERROR_BAD_PARAMETERS);  // a 2-byte text block
    // Types the receiver reads no fixed block of take any block.
    EXPECT_EQ(sim.QueueEvent(14, {}), GP_OK);
    EXPECT_EQ(sim.QueueEvent(18, {7}), GP_OK);
    EXPECT_EQ(sim.PendingEvents(), accepted + 2);

    Process raw = Camsim({"event", "raw", "10", "01"});
    EXPECT_EQ(raw.Wait(10000), 1);
    EXPECT_THAT(raw.Err(), HasSubstr("event type 10 needs a data block of at least 24 bytes (the receiver "
                                     "reads the recording state at bytes 20 to 23), not 1"));
    EXPECT_EQ(sim.PendingEvents(), accepted + 2);
}

TEST_F(SimRobustness, AStateFileWithAShortDriverEventBlockIsRefused) {
    std::ifstream in(dir.Path() + "/state.json");
    nlohmann::json state = nlohmann::json::parse(in);
    state["events"] = {{{"type", 16}, {"due", 0}, {"data", "01000000"}}};
    Write("state.json", state.dump());
    GpCamera cam;
    EXPECT_EQ(cam.Wait(10).rc, GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(sim.PendingEvents(), 0u);
    EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(dir.Path() + "/state.json"),
                                       HasSubstr("event type 16 needs a data block of at least 8 bytes")));
}

// --- numbers the event encodings cannot hold become the standard property event ---

TEST_F(SimRobustness, OutOfRangeNumbersRaiseTheStandardPropertyEvent) {
    std::string path = Write("encodings.json", R"({"model": "Nikon Z8", "widgets": [
        {"name": "rec", "event": {"type": 10, "encode": "record"}},
        {"name": "iso", "event": {"type": 13, "encode": "int32"}},
        {"name": "wb", "event": {"type": 12, "encode": "int32", "codes": {"huge": 4294967296}}},
        {"name": "iris", "event": {"type": 11, "encode": "aperture", "codes": {"odd": -2147483649}}},
        {"name": "shutter", "event": {"type": 16, "encode": "shutter"}},
        {"name": "prog", "event": {"type": 17, "encode": "uint16"}},
        {"name": "prog32", "event": {"type": 17, "encode": "low16"}},
        {"name": "textual", "event": {"type": 13, "encode": "text"}}]})");
    ASSERT_EQ(sim.Plug(path), GP_OK) << sim.LastError();
    struct Case {
        const char* widget;
        const char* value;
        int type;                   // 0: "PTP Property <widget> changed"
        std::vector<uint8_t> data;  // for a driver event
    };
    std::vector<uint8_t> record1(24, 0);
    record1[20] = 1;
    const Case cases[] = {
        {"shutter", "1.0000000000000000001", 0, {}},
        {"shutter", "1/1.0000001", 0, {}},
        {"shutter", "99999999999/1", 0, {}},
        {"shutter", "1.000001", 16, {0x41, 0x42, 0x0f, 0x00, 0x40, 0x42, 0x0f, 0x00}},
        {"iso", "4294967295", 13, {0xff, 0xff, 0xff, 0xff}},
        {"iso", "4294967296", 0, {}},
        {"iso", "-2147483648", 13, {0x00, 0x00, 0x00, 0x80}},
        {"iso", "-2147483649", 0, {}},
        {"iso", "99999999999999999999", 0, {}},
        {"wb", "huge", 0, {}},
        {"iris", "odd", 0, {}},
        {"iris", "f/1e400", 0, {}},
        {"rec", "2147483648", 0, {}},
        {"rec", "1", 10, record1},
        {"prog", "65535", 17, {0xff, 0xff}},
        {"prog", "65536", 0, {}},
        {"prog", "-1", 0, {}},
        {"prog32", "491600", 17, {0x50, 0x80}},
        {"prog32", "4294967296", 0, {}},
        {"textual", "x", 0, {}},
    };
    GpCamera cam;
    for (const Case& c : cases) {
        ASSERT_EQ(sim.ChangeOnCamera(c.widget, c.value), GP_OK) << c.widget << " " << c.value;
        GpEvent e = cam.Wait(1000);
        ASSERT_EQ(e.rc, GP_OK);
        EXPECT_EQ(e.type, c.type) << c.widget << " " << c.value;
        if (c.type == 0) {
            EXPECT_EQ(e.Text(), std::string("PTP Property ") + c.widget + " changed") << c.value;
        } else {
            EXPECT_EQ(e.data, c.data) << c.widget << " " << c.value;
        }
    }

    Process nikon = Camsim({"plug", "nikon-z8"});
    ASSERT_EQ(nikon.Wait(10000), 0) << nikon.Err();
    Process change = Camsim({"change", "shutterspeed2", "1.0000000000000000001"});
    EXPECT_EQ(change.Wait(10000), 0) << change.Err();
    GpCamera z8;
    GpEvent e = z8.Wait(1000);
    EXPECT_EQ(e.type, GP_EVENT_UNKNOWN);
    EXPECT_EQ(e.Text(), "PTP Property d100 changed");
}

TEST_F(SimRobustness, CamsimRefusesEventNumbersTheirFieldsCannotHold) {
    struct Case {
        std::vector<std::string> args;
        int exit;
    };
    const Case cases[] = {
        {{"event", "13", "4294967296"}, 2},
        {{"event", "13", "4294967295"}, 0},
        {{"event", "10", "2147483648"}, 2},
        {{"event", "16", "1", "9999999999"}, 2},
        {{"event", "17", "65536"}, 2},
        {{"event", "99999999999", "x"}, 2},
        {{"event", "raw", "99999999999", "00"}, 2},
    };
    for (const Case& c : cases) {
        Process p = Camsim(c.args);
        EXPECT_EQ(p.Wait(10000), c.exit) << c.args[1] << " " << p.Err();
    }
    EXPECT_EQ(sim.PendingEvents(), 1u);
}

// --- numbers a float cannot hold, and nesting the merge cannot copy ---

const char kRangeProfile[] =
    R"({"model": "Nikon Z8", "widgets": [{"name": "r", "type": "range", "min": -5, "max": 5, "step": 0.5,
        "value": "1.5"}]})";

TEST_F(SimRobustness, RangeBoundsAndValuesAFloatCannotHoldAreRefusedWhenLoaded) {
    struct Case {
        const char* file;
        const char* widget;
        const char* problem;
    };
    const Case cases[] = {
        {"max.json", R"("max": 1e39)",
         "widget \"r\": \"max\" must be a finite number a float can hold, not 1e+39"},
        {"min.json", R"("min": -1e39)",
         "widget \"r\": \"min\" must be a finite number a float can hold, not -1e+39"},
        {"step.json", R"("step": 1e300)",
         "widget \"r\": \"step\" must be a finite number a float can hold, not 1e+300"},
        {"nan.json", R"("value": "nan")",
         "widget \"r\": \"value\" \"nan\" of a range must be a finite number"},
        {"inf.json", R"("value": "-inf")",
         "widget \"r\": \"value\" \"-inf\" of a range must be a finite number"},
        {"big.json", R"("value": 1e39)",
         "widget \"r\": \"value\" \"1e+39\" of a range must be a finite number"},
        {"text.json", R"("value": "1.5x")",
         "widget \"r\": \"value\" \"1.5x\" of a range must be a finite number"},
    };
    for (const Case& c : cases) {
        std::string path = Write(c.file, std::string(R"({"model": "Nikon Z8", "widgets": [{"name": "r", )") +
                                             R"("type": "range", )" + c.widget + "}]}");
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << c.file;
        EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(path), HasSubstr(c.problem))) << c.file;
    }
    EXPECT_EQ(sim.Model(), "Sony Alpha-A7 III (PC Control)");
}

TEST_F(SimRobustness, RangeValuesAFloatCannotHoldAreRefusedWhenSet) {
    ASSERT_EQ(sim.Plug(Write("range.json", kRangeProfile)), GP_OK) << sim.LastError();
    GpCamera cam;
    const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 2.5f};
    const int results[] = {GP_ERROR_BAD_PARAMETERS, GP_ERROR_BAD_PARAMETERS, GP_ERROR_BAD_PARAMETERS, GP_OK};
    for (size_t i = 0; i < 4; ++i) {
        GpWidget w;
        ASSERT_EQ(cam.Get("r", &w), GP_OK);
        ASSERT_EQ(gp_widget_set_value(w.Get(), &values[i]), GP_OK);
        EXPECT_EQ(gp_camera_set_single_config(cam.Get(), "r", w.Get(), cam.Context()), results[i])
            << values[i];
    }
    EXPECT_EQ(sim.Value("r"), "2.5");
    for (const char* value : {"nan", "inf", "1e39", "-1e39", "", "2,5"}) {
        EXPECT_EQ(sim.SetValue("r", value), GP_ERROR_BAD_PARAMETERS) << value;
        EXPECT_EQ(sim.LastError(),
                  std::string("\"") + value +
                      "\" is no value for the range widget \"r\": it must be a finite number a "
                      "float can hold");
        EXPECT_EQ(sim.ChangeOnCamera("r", value), GP_ERROR_BAD_PARAMETERS) << value;
    }
    Process set = Camsim({"set", "r", "1e39"});
    EXPECT_EQ(set.Wait(10000), 1);
    EXPECT_THAT(set.Err(), HasSubstr("\"1e39\" is no value for the range widget \"r\""));
    // The state still loads: every value and bound is a number JSON holds.
    GpWidget w;
    ASSERT_EQ(cam.Get("r", &w), GP_OK);
    float value = 0, low = 0, high = 0, step = 0;
    ASSERT_EQ(gp_widget_get_value(w.Get(), &value), GP_OK);
    ASSERT_EQ(gp_widget_get_range(w.Get(), &low, &high, &step), GP_OK);
    EXPECT_EQ(value, 2.5f);
    EXPECT_EQ(high, 5.0f);
    EXPECT_EQ(sim.SetValue("r", "-4.5"), GP_OK);
}

std::string Nested(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST_F(SimRobustness, ProfilesAndStatesNestedTooDeepAreRefusedWithoutCrashing) {
    struct Case {
        const char* file;
        size_t depth;  // of the extra value; the profile itself adds one level
        bool accepted;
    };
    const Case cases[] = {
        {"deep63.json", 63, true},
        {"deep64.json", 64, false},
        {"deep1m.json", 1000000, false},
    };
    for (const Case& c : cases) {
        std::string path =
            Write(c.file, R"({"model": "Nikon Z8", "extra": )" + Nested(c.depth) +
                              R"(, "widgets": [{"name": "x", "label": "[[[[[[[[[[[[[[[[[["}]})");
        if (c.accepted) {
            EXPECT_EQ(sim.Plug(path), GP_OK) << c.file << " " << sim.LastError();
        } else {
            EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << c.file;
            EXPECT_EQ(sim.LastError(), path + ": arrays and objects nest deeper than 64 levels") << c.file;
        }
    }
    // A base profile nested too deep is named as the file at fault.
    std::string base =
        Write("base-deep.json", "{\"widgets\": [{\"name\": \"y\", \"v\": " + Nested(1000000) + "}]}");
    std::string child = Write("child.json", R"({"model": "Nikon Z8", "inherits": "base-deep"})");
    EXPECT_EQ(sim.Plug(child), GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(sim.LastError(), base + ": arrays and objects nest deeper than 64 levels");

    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);
    GpCamera cam;
    ASSERT_EQ(cam.Value("iso"), "AUTO");
    Write("state.json", "{\"version\": 1, \"x\": " + Nested(1000000) + "}");
    EXPECT_EQ(cam.Value("iso"), "");
    EXPECT_EQ(cam.Wait(10).rc, GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(sim.SetValue("iso", "100"), GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(sim.LastError(), dir.Path() + "/state.json: arrays and objects nest deeper than 64 levels");
}

}  // namespace
