// The simulated cameras as libgphoto2 callers meet them: the checks of the values set, reactions
// and events, faults, latency, the USB node, and abuse of the control side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "CamSim.h"
#include "GpCamera.h"
#include "Process.h"
#include "ScopedEnv.h"
#include "SimTestDir.h"

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Clock = std::chrono::steady_clock;
using Codes = std::vector<int>;  // results of calls made in order (a braced list is evaluated left to right)
const char kPort[] = "usb:999,001";
const char kA7III[] = "Sony Alpha-A7 III (PC Control)";
constexpr long kHang = 10000;  // only lower bounds of times are exact: an upper one catches a hang

class Sim : public ::testing::Test {
  protected:
    void Plug(const std::string& model) { ASSERT_EQ(sim.Plug(model), GP_OK) << sim.LastError(); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir.File(name)) << text;
        return dir.File(name);
    }
    // A profile of the Nikon Z8 with these top-level keys (each followed by ", ") and widgets.
    std::string Profile(const std::string& widgets, const std::string& keys = "") {
        return Write("profile.json", R"({"model": "Nikon Z8", )" + keys + R"("widgets": [)" + widgets + "]}");
    }
    // camsim run as a user would, on this state directory: its exit status, its standard error and output.
    std::string Camsim(std::vector<std::string> args) {
        args.insert(args.begin(), {CAMSIM_TOOL, "--state-dir", dir.Path()});
        Process p(args);
        const int status = p.Wait(10000);
        return std::to_string(status) + " " + p.Err() + p.Out();
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

// --- the camera plugged, unplugged, and its USB node ---

using SimDetect = Sim;

// How often the simulated port is in this process's port list (every listing is a bus scan).
int Listed() {
    GPPortInfoList* list = nullptr;
    int n = 0;
    if (gp_port_info_list_new(&list) == GP_OK && gp_port_info_list_load(list) == GP_OK) {
        for (int i = 0; i < gp_port_info_list_count(list); ++i) {
            GPPortInfo info = nullptr;
            char* path = nullptr;
            n += gp_port_info_list_get_info(list, i, &info) == GP_OK &&
                 gp_port_info_get_path(info, &path) == GP_OK && std::string(path) == kPort;
        }
    }
    gp_port_info_list_free(list);
    return n;
}

// With a device directory the node exists exactly while the camera is plugged, as the kernel makes
// it for a real one, and only then is the port listed.
TEST_F(SimDetect, TheUsbNodeFollowsThePlugAndThePortIsListedOnlyWithIt) {
    TempDir devfs("usb-devfs");
    {
        ScopedEnv env("CAMSIM_USB_DEVFS", devfs.Path().c_str());
        // clang-format off
        const std::vector<std::pair<std::function<int()>, bool>> steps = {
            {[] { return GP_OK; }, false}, {[&] { return sim.Plug("sony-a7m3"); }, true},
            {[&] { return sim.Unplug(); }, false}, {[&] { return sim.Unplug(); }, false},
            {[&] { return sim.Replug(); }, true}, {[&] { return sim.Replug(); }, true},
            {[&] { return sim.Plug("sony-a7m3"); }, true}};
        // clang-format on
        for (size_t i = 0; i < steps.size(); ++i) {
            ASSERT_EQ(steps[i].first(), GP_OK) << i << ": " << sim.LastError();
            EXPECT_EQ((access((devfs.Path() + "/999/001").c_str(), F_OK) == 0) + Listed(),
                      steps[i].second ? 2 : 0)
                << "step " << i;
            EXPECT_EQ(Autodetect(), steps[i].second ? std::string(kA7III) + "|" + kPort + " " : "") << i;
        }
        ScopedEnv missing("CAMSIM_USB_DEVFS", (devfs.Path() + "/bus/usb").c_str());
        EXPECT_EQ(sim.Plug("sony-a7m3"), GP_ERROR_IO);
        EXPECT_THAT(sim.LastError(), HasSubstr(devfs.Path() + "/bus/usb/999"));
        EXPECT_NE(access((devfs.Path() + "/bus").c_str(), F_OK), 0)
            << "the device directory is the kernel's to make";
    }
    ScopedEnv none("CAMSIM_USB_DEVFS", nullptr);
    EXPECT_EQ((Codes{sim.Unplug(), Listed()}), (Codes{0, 1}))
        << "without a device directory the port is always listed";
}

// --- widgets and the values they take ---

using SimWidgets = Sim;

// Every widget kind checks what is set through libgphoto2; a refused value is still received.
TEST_F(SimWidgets, EachKindChecksTheValuesItIsSet) {
    Plug(Profile(R"({"name": "r", "type": "range", "min": -5, "max": 5, "step": 0.5, "value": "1.5"},
        {"name": "free", "type": "range", "value": "0"},
        {"name": "radio", "type": "radio", "value": "off", "choices": ["on", "off"]},
        {"name": "menu", "type": "menu", "value": "a", "choices": ["a", "b"]},
        {"name": "bare", "type": "radio", "value": "Auto ISO", "choices": []},
        {"name": "t", "type": "toggle", "value": "0"}, {"name": "d", "type": "date", "value": "0"},
        {"name": "s", "type": "text", "value": ""},
        {"name": "ro", "type": "text", "value": "85%", "readonly": true},
        {"name": "g", "type": "text", "value": "", "requires": {"on": {"t": "1"}, "*": {"menu": "b"}}})"));
    // clang-format off
    const int kBad = GP_ERROR_BAD_PARAMETERS, kBusy = GP_ERROR_CAMERA_BUSY;
    const std::tuple<const char*, const char*, int> rows[] = {
        {"r", "2.5", GP_OK}, {"r", "5", GP_OK}, {"r", "-5", GP_OK}, {"r", "5.5", kBad}, {"r", "-5.5", kBad},
        {"r", "nan", kBad}, {"r", "inf", kBad}, {"free", "1e+30", GP_OK},  // a range without bounds
        {"radio", "on", GP_OK}, {"radio", "maybe", kBad}, {"menu", "c", kBad},
        {"bare", "800", GP_OK},  // a radio without choices takes what the driver passes on
        {"g", "x", kBusy}, {"menu", "b", GP_OK}, {"g", "on", kBusy}, {"g", "x", GP_OK},  // "*", then "on"
        {"t", "1", GP_OK}, {"g", "on", GP_OK}, {"t", "0", GP_OK}, {"t", "2", kBad},
        {"d", "1700000000", GP_OK}, {"s", "(120, 300)", GP_OK},
        {"s", "a\\nb\nc\\", GP_OK},  // kept whole in the received log
        {"ro", "10%", GP_ERROR_NOT_SUPPORTED},
    };
    // clang-format on
    std::map<std::string, std::string> now = {
        {"r", "1.5"}, {"free", "0"}, {"radio", "off"}, {"menu", "a"}, {"bare", "Auto ISO"},
        {"t", "0"},   {"d", "0"},    {"s", ""},        {"ro", "85%"}, {"g", ""}};
    std::vector<std::string> received;
    GpCamera cam;
    for (const auto& [widget, value, result] : rows) {
        const std::string name = widget;  // the value as the widget's libgphoto2 type: float, int or text
        const int rc = name == "r" || name == "free" ? cam.Set(name, std::stof(value))
                       : name == "t" || name == "d"  ? cam.Set(name, std::stoi(value))
                                                     : cam.Set(name, value);
        EXPECT_EQ(rc, result) << name << " = " << value;
        now[name] = result == GP_OK ? value : now[name];
        EXPECT_EQ(sim.Value(name), now[name]) << name << " = " << value;
        received.push_back(name + "=" + value);
    }
    EXPECT_EQ(sim.Received(), received);
    EXPECT_EQ(GpCamera().Value("s"), "a\\nb\nc\\") << "seen by the next open";
    // With a settle delay a value takes effect, and is reported, once settled.
    ASSERT_EQ(
        (Codes{sim.SetSettleDelay(300), cam.Set("s", "later"), sim.ClearEvents(), cam.Set("s", "last")}),
        Codes(4, GP_OK));
    EXPECT_EQ(sim.Value("s"), "a\\nb\nc\\");
    EXPECT_EQ(cam.Events(kHang), "unknown PTP Property s changed, timeout") << "the cleared event is gone";
    EXPECT_EQ(sim.Value("s"), "last");
}

TEST_F(SimWidgets, WholeTreeSetsSendOnlyChangedWidgetsAndTheControlSideEditsWidgets) {
    Plug("Canon EOS R6m2");
    {
        GpCamera cam;
        CameraWidget *root = nullptr, *iso = nullptr, *section = nullptr;
        const char* sectionName = nullptr;
        ASSERT_EQ((Codes{gp_camera_get_config(cam.Get(), &root, cam.Context()),
                         gp_widget_get_child_by_name(root, "iso", &iso), gp_widget_get_parent(iso, &section),
                         gp_widget_get_name(section, &sectionName), gp_widget_set_value(iso, "3200"),
                         gp_camera_set_config(cam.Get(), root, cam.Context())}),
                  Codes(6, GP_OK));
        const std::string parent = sectionName;  // owned by the tree freed next
        gp_widget_free(root);
        EXPECT_EQ(parent, "imgsettings");
        EXPECT_THAT(sim.Received(), ElementsAre("iso=3200"));
    }
    sim.ClearReceived();
    EXPECT_EQ((Codes{sim.AddWidget("d21e", camsim::WidgetKind::Menu, "b", {"a", "b"}),
                     sim.AddWidget("exposure", camsim::WidgetKind::Range, "1.5"),
                     sim.SetChoices("whitebalance", {"Automatic", "Daylight"}),
                     sim.SetValue("focusmode", "Undefined"), sim.RemoveWidget("batterylevel"),
                     sim.RemoveWidget("batterylevel"), sim.SetValue("nothing", "1")}),
              (Codes{0, 0, 0, 0, 0, GP_ERROR_BAD_PARAMETERS, GP_ERROR_BAD_PARAMETERS}))
        << "the camera may report texts outside its list";
    GpCamera cam;
    GpWidget menu, range, battery;
    float v = 0;
    CameraWidgetType type;
    ASSERT_EQ((Codes{cam.Get("d21e", &menu), cam.Get("exposure", &range),
                     gp_widget_get_value(range.Get(), &v), gp_widget_get_type(menu.Get(), &type)}),
              Codes(4, GP_OK));
    EXPECT_EQ(menu.Text() + " " + std::to_string(v) + " " + std::to_string(type == GP_WIDGET_MENU) + " " +
                  cam.Value("focusmode") + " " + std::to_string(cam.Get("batterylevel", &battery)),
              "b 1.500000 1 Undefined -2");
    EXPECT_EQ(sim.Choices("whitebalance"), std::vector<std::string>({"Automatic", "Daylight"}));
    EXPECT_FALSE(sim.Value("nothing").has_value());
    EXPECT_TRUE(sim.Received().empty()) << "camera-side edits are not received";
}

// --- reactions and events ---

using SimEvents = Sim;

TEST_F(SimEvents, QueuedEventsArriveInOrderOnceAndAWaitWakesWhenAnotherHandleQueuesOne) {
    Plug("Nikon Z9");
    ASSERT_EQ(
        (Codes{sim.QueueRecordEvent(1), sim.QueueInt32Event(11, 280), sim.QueueInt32Event(12, 0x8012),
               sim.QueueInt32Event(13, 6400), sim.QueueInt32Event(15, 0x8013), sim.QueueShutterEvent(1, 250),
               sim.QueueModeEvent(0x8050), sim.QueueTextEvent(GP_EVENT_UNKNOWN, "PTP Property d21d changed"),
               sim.QueueTextEvent(GP_EVENT_FILE_ADDED, "/store_00010001/DCIM/100NZ_9/DSC_0001.NEF"),
               sim.QueueEvent(14, {1, 2, 3, 0})}),
        Codes(10, GP_OK));
    EXPECT_EQ(sim.PendingEvents(), 10u);
    GpCamera cam;
    EXPECT_EQ(
        cam.Events(100),
        "10 1, 11 280, 12 32786, 13 6400, 15 32787, 16 1/250, 17 32848, unknown PTP Property d21d changed, "
        "file /store_00010001/DCIM/100NZ_9/DSC_0001.NEF, 14 \x01\x02\x03, timeout");
    EXPECT_EQ(sim.PendingEvents(), 0u);
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        camsim::Simulator(dir.Path()).QueueRecordEvent(1);
    });
    const auto start = Clock::now();
    EXPECT_EQ(cam.Wait(kHang).Text(), "10 1");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "woken by the change, not by the time-out";
    other.join();
}

// --- faults ---

using SimFaults = Sim;

TEST_F(SimFaults, LookupValueSetAndConnectFaultsAsACallerMeetsThem) {
    Plug(kA7III);
    ASSERT_EQ((Codes{sim.FailLookup("f-number", GP_ERROR_NOT_SUPPORTED),
                     sim.SetValueFault("iso", camsim::ValueFault::NoValue),
                     sim.SetValueFault("whitebalance", camsim::ValueFault::Typeless),
                     sim.FailSet("shutterspeed", GP_ERROR_CAMERA_BUSY), sim.FailLookup("nothing", -1)}),
              (Codes{0, 0, 0, 0, GP_ERROR_BAD_PARAMETERS}));
    GpCamera cam;
    GpWidget lookup, noValue, typeless;
    CameraWidget *root = nullptr, *child = nullptr;
    char* text = reinterpret_cast<char*>(1);
    CameraWidgetType type = GP_WIDGET_WINDOW;
    EXPECT_EQ((Codes{cam.Get("f-number", &lookup), gp_camera_get_config(cam.Get(), &root, cam.Context()),
                     gp_widget_get_child_by_name(root, "f-number", &child),
                     gp_widget_get_child_by_name(root, "iso", &child), cam.Get("iso", &noValue),
                     gp_widget_get_value(noValue.Get(), &text), gp_widget_count_choices(noValue.Get()),
                     cam.Get("whitebalance", &typeless), gp_widget_get_type(typeless.Get(), &type), type,
                     gp_widget_get_value(typeless.Get(), &text), gp_widget_count_choices(typeless.Get()),
                     cam.Set("shutterspeed", "1/8")}),
              (Codes{GP_ERROR_NOT_SUPPORTED, 0, GP_ERROR_BAD_PARAMETERS, 0, 0, 0, 41, 0, 0, GP_WIDGET_SECTION,
                     GP_ERROR_BAD_PARAMETERS, GP_ERROR_BAD_PARAMETERS, GP_ERROR_CAMERA_BUSY}))
        << "a lookup fails in single and tree access; a value fault serves no value, or no type";
    gp_widget_free(root);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(sim.Value("shutterspeed").value_or("?") + ", " + cam.Events(0), "1/125, timeout");
    EXPECT_THAT(sim.Received(), ElementsAre("shutterspeed=1/8")) << "a failed set is received";
    sim.ClearFaults();
    EXPECT_EQ(cam.Value("iso") + cam.Value("f-number") + cam.Value("whitebalance"), "AUTOf/4Automatic");
    ASSERT_EQ(sim.FailConnect(GP_ERROR_TIMEOUT, 2), GP_OK);
    GpCamera fresh;
    EXPECT_EQ((Codes{gp_camera_get_config(fresh.Get(), &root, fresh.Context()),
                     gp_camera_get_config(fresh.Get(), &root, fresh.Context()), fresh.Get("iso", &lookup),
                     sim.FailConnect(GP_ERROR_IO_USB_CLAIM, 1)}),
              (Codes{GP_ERROR_TIMEOUT, GP_ERROR_TIMEOUT, GP_OK, GP_OK}))
        << "the given number of opens fail";
    GpCamera other;
    const std::string first = other.Value("iso");
    EXPECT_EQ(first + "|" + other.Value("iso") + "|" + cam.Value("iso"), "|AUTO|AUTO")
        << "an open camera is not affected";
    // A stubborn widget accepts a set but keeps its value; an event wait fails once with the loss
    // code given, the event still there; an unplugged camera fails every call.
    GpWidget w;
    EXPECT_EQ((Codes{sim.SetStubborn("shutterspeed", true), cam.Set("shutterspeed", "1/250"),
                     sim.Value("shutterspeed") == "1/125", sim.ChangeOnCamera("nothing", "1"),
                     sim.QueueRecordEvent(1), sim.FailEventWait(GP_ERROR_IO_USB_FIND), cam.Wait(100).rc,
                     cam.Wait(100).type, sim.Unplug(), cam.Wait(0).rc, cam.Get("iso", &w)}),
              (Codes{0, 0, 1, GP_ERROR_BAD_PARAMETERS, 0, 0, GP_ERROR_IO_USB_FIND, 10, 0, GP_ERROR_IO,
                     GP_ERROR_IO}));
}

TEST_F(SimFaults, MalformedProfilesAreRefusedWithFileAndProblem) {
    Plug(kA7III);
    const std::string z8 = R"({"model": "Nikon Z8", )", w = z8 + R"("widgets": [{"name": "a")";
    const std::string integer = " must be an integer from 0 to 3600000";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {z8 + R"("widgets": [)", "parse error"}, {R"({"widgets": []})", "missing \"model\""},
        {R"({"model": "Nikon Z7"})", "not one of the simulated models"}, {"[1, 2]", "top level must be an object"},
        {w + R"(, "type": "dial"}]})", "unknown type \"dial\""},
        {w + R"(, "choices": 5}]})", "widget \"a\": \"choices\" must be an array"},
        {w + R"(}, {"name": "a"}]})", "listed twice"}, {z8 + R"("inherits": "nowhere"})", "does not exist"},
        {w + R"(, "effects": {"1": {"b": "2"}}}]})", "effect on unknown widget \"b\""},
        {w + R"(, "event": {"encode": "x"}}]})", "integer \"type\""},
        {w + R"(, "requires": {"*": {"b": "1"}}}]})", "requires unknown widget \"b\""},
        {w + R"(, "requires": ["b"]}]})", "widget \"a\": \"requires\" must map values to objects of widget values"},
        {z8 + R"("latency": "fast"})", R"("latency" must be "zero" or "realistic")"},
        {z8 + R"("open_ms": -1})", "\"open_ms\"" + integer}, {z8 + R"("settle_ms": 3600001})", "\"settle_ms\"" + integer},
        {z8 + R"("transaction_ms": "3"})", "\"transaction_ms\"" + integer},
        {z8 + R"("extra": )" + std::string(64, '[') + std::string(64, ']') + "}", "nest deeper than 64 levels"},
    };
    // clang-format on
    for (const auto& [text, problem] : cases) {
        const std::string path = Write("bad.json", text);
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << text;
        EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(path), HasSubstr(problem))) << text;
    }
    EXPECT_EQ(sim.Model(), kA7III) << "still the camera plugged before";
    EXPECT_EQ((Codes{sim.Plug(dir.File("missing.json")), sim.Plug("no-such-profile"),
                     sim.Plug(Write("deep.json", z8 + R"("extra": )" + std::string(63, '[') +
                                                     std::string(63, ']') + "}"))}),
              (Codes{GP_ERROR_FILE_NOT_FOUND, GP_ERROR_FILE_NOT_FOUND, GP_OK}));
    Write("base-mine.json", R"({"model": "Nikon Z8", "settle_ms": 5, "widgets": [
        {"name": "iso", "type": "radio", "value": "100", "choices": ["100", "200"]},
        {"name": "gone", "type": "text", "value": "x"}]})");
    Plug(Write("mine.json", R"({"inherits": "base-mine", "model": "Nikon Z9", "remove": ["gone"],
        "widgets": [{"name": "iso", "value": "200"}, {"name": "extra", "type": "toggle", "value": true}]})"));
    EXPECT_EQ(sim.Model() + " " + sim.Value("iso").value_or("?") + " " + sim.Value("extra").value_or("?") +
                  std::to_string(sim.Value("gone").has_value()) + std::to_string(sim.Latency()->settleMs),
              "Nikon Z9 200 105");
    EXPECT_EQ(sim.Choices("iso"), std::vector<std::string>({"100", "200"}));
    // A base profile nested too deep is named as the file at fault.
    const std::string base =
        Write("base-deep.json", "{\"widgets\": [{\"name\": \"y\", \"v\": " + std::string(100000, '[') +
                                    std::string(100000, ']') + "}]}");
    EXPECT_EQ(sim.Plug(Write("child.json", z8 + R"("inherits": "base-deep"})")), GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(sim.LastError(), base + ": arrays and objects nest deeper than 64 levels");
}

TEST_F(SimFaults, MalformedStateFilesFailCallsWithoutCrashing) {
    Plug(kA7III);
    GpCamera cam;
    ASSERT_EQ(cam.Value("iso"), "AUTO");
    std::ifstream in(dir.File("state.json"));
    nlohmann::json state = nlohmann::json::parse(in);
    state["events"] = {{{"type", 16}, {"due", 0}, {"data", "01000000"}}};
    const std::pair<std::string, std::string> cases[] = {
        {R"({"version": 1, "widgets": [{"name": 3}]})", "\"name\" must be a string"},
        {state.dump(), "event type 16 needs a data block of at least 8 bytes"},
        {"{\"version\": 1, \"x\": " + std::string(100000, '[') + std::string(100000, ']') + "}",
         "arrays and objects nest deeper than 64 levels"},
        {"not json", "parse error"}};
    for (const auto& [text, problem] : cases) {
        Write("state.json", text);
        GpWidget w;
        EXPECT_EQ((Codes{cam.Get("iso", &w), cam.Wait(10).rc, sim.SetValue("iso", "800")}),
                  Codes(3, GP_ERROR_CORRUPTED_DATA));
        EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(dir.File("state.json")), HasSubstr(problem)));
        EXPECT_FALSE(sim.Value("iso").has_value());
    }
    EXPECT_EQ((Codes{int(GpCamera().Value("iso").empty()), sim.Unplug()}),
              (Codes{1, GP_ERROR_CORRUPTED_DATA}));
    Write("plug", "garbage");
    EXPECT_EQ(Autodetect(), "");
    Plug("sony-a7m3");  // plugging starts over
    EXPECT_EQ(sim.Value("iso"), "AUTO");
}

// --- latency ---

using SimLatency = Sim;

std::string Figures(const std::optional<camsim::LatencyModel>& l) {
    return l ? std::to_string(l->transactionMs) + " " + std::to_string(l->openMs) + " " +
                   std::to_string(l->settleMs)
             : "none";
}

TEST_F(SimLatency, ProfilesGiveAPresetOrSingleFiguresAndTheControlSideSetsThem) {
    EXPECT_EQ(Figures(sim.Latency()) + ", " + Figures(camsim::RealisticLatencyModel()), "none, 3 1000 50");
    const std::pair<const char*, const char*> cases[] = {
        {"", "0 0 0"},
        {R"("latency": "realistic", )", "3 1000 50"},
        {R"("latency": "realistic", "settle_ms": 0, )", "3 1000 0"},
        {R"("latency": "zero", "open_ms": 20, )", "0 20 0"},
        {R"("transaction_ms": 7, "settle_ms": 9, )", "7 0 9"},
    };
    for (const auto& [keys, figures] : cases) {
        Plug(Profile("", keys));
        EXPECT_EQ(Figures(sim.Latency()), figures) << keys;
    }
    EXPECT_EQ((Codes{sim.SetLatency({0, -5, 0}), sim.SetLatency({7, 8, 9}), sim.SetSettleDelay(400),
                     sim.SetSettleDelay(-1)}),
              (Codes{GP_ERROR_BAD_PARAMETERS, 0, 0, GP_ERROR_BAD_PARAMETERS}));
    EXPECT_EQ(Figures(sim.Latency()), "7 8 400") << "the settle delay alone";
}

// --- the control side under abuse ---

using SimRobustness = Sim;

// Event blocks shorter than the receiver reads, and numbers camsim's event fields cannot hold.
TEST_F(SimRobustness, DriverEventBlocksShorterThanTheReceiverReadsAreRefused) {
    Plug("sony-a7m3");
    // clang-format off
    const std::tuple<int, size_t, const char*> cases[] = {
        {10, 24, "the recording state at bytes 20 to 23"}, {11, 4, "the aperture x100 at bytes 0 to 3"},
        {12, 4, "the white-balance code at bytes 0 to 3"}, {13, 4, "the ISO value at bytes 0 to 3"},
        {15, 4, "the focus-mode code at bytes 0 to 3"}, {17, 2, "the exposure-program code at bytes 0 and 1"},
        {16, 8, "the shutter speed's numerator and denominator at bytes 0 to 7"}};
    // clang-format on
    for (const auto& [type, size, reads] : cases) {
        EXPECT_EQ(sim.QueueEvent(type, std::vector<uint8_t>(size - 1, 1)), GP_ERROR_BAD_PARAMETERS) << type;
        EXPECT_EQ(sim.LastError(), "event type " + std::to_string(type) + " needs a data block of at least " +
                                       std::to_string(size) + " bytes (the receiver reads " + reads +
                                       "), not " + std::to_string(size - 1));
        EXPECT_EQ((Codes{sim.QueueEvent(type, {}), sim.QueueEvent(type, std::vector<uint8_t>(size, 1)),
                         sim.QueueEvent(type, std::vector<uint8_t>(size + 3, 1))}),
                  (Codes{GP_ERROR_BAD_PARAMETERS, GP_OK, GP_OK}));
    }
    // A 2-byte text block, then types the receiver reads no fixed block of: any block.
    EXPECT_EQ((Codes{sim.QueueTextEvent(13, "x"), sim.QueueEvent(14, {}), sim.QueueEvent(18, {7})}),
              (Codes{GP_ERROR_BAD_PARAMETERS, GP_OK, GP_OK}));
    EXPECT_EQ(
        Camsim({"event", "raw", "10", "01"}),
        "1 camsim: event type 10 needs a data block of at least 24 bytes (the receiver reads the recording "
        "state at bytes 20 to 23), not 1 (Bad parameters, -2)\n");
    const std::vector<std::vector<std::string>> unholdable = {
        {"13", "4294967296"}, {"10", "2147483648"}, {"16", "1", "9999999999"},
        {"17", "65536"},      {"99999999999", "x"}, {"raw", "99999999999", "00"}};
    for (std::vector<std::string> args : unholdable) {
        args.insert(args.begin(), "event");
        EXPECT_EQ(Camsim(args).substr(0, 2), "2 ") << args[1] << " " << args[2];
    }
    EXPECT_EQ(Camsim({"event", "13", "4294967295"}).substr(0, 2), "0 ");
    EXPECT_EQ(sim.PendingEvents(), 17u);
}

// How each encoding makes a value the data block the receiver reads; numbers it cannot hold
// become the standard property event.
TEST_F(SimRobustness, EncodingsAndTheNumbersTheyCannotHold) {
    Plug(Profile(R"({"name": "rec", "event": {"type": 10, "encode": "record"}},
        {"name": "iso", "event": {"type": 13, "encode": "int32"}},
        {"name": "wb", "event": {"type": 12, "encode": "int32", "codes": {"huge": 4294967296, "cloudy": 32784}}},
        {"name": "quiet", "event": "none"}, {"name": "plain", "property": "5005"},
        {"name": "iris", "event": {"type": 11, "encode": "aperture", "codes": {"odd": -2147483649}}},
        {"name": "shutter", "event": {"type": 16, "encode": "shutter"}},
        {"name": "prog", "event": {"type": 17, "encode": "uint16"}},
        {"name": "prog32", "event": {"type": 17, "encode": "low16"}},
        {"name": "textual", "event": {"type": 13, "encode": "text"}})"));
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"shutter", "1.0000000000000000001", ""}, {"shutter", "1/1.0000001", ""},
        {"shutter", "99999999999/1", ""}, {"shutter", "1.000001", "16 1000001/1000000"},
        {"iso", "4294967295", "13 -1"}, {"iso", "4294967296", ""}, {"iso", "-2147483648", "13 -2147483648"},
        {"iso", "-2147483649", ""}, {"iso", "99999999999999999999", ""}, {"wb", "huge", ""},
        {"iris", "odd", ""}, {"iris", "f/1e400", ""}, {"rec", "2147483648", ""}, {"rec", "1", "10 1"},
        {"prog", "65535", "17 65535"}, {"prog", "65536", ""}, {"prog", "-1", ""},
        {"prog32", "491600", "17 32848"}, {"prog32", "4294967296", ""}, {"textual", "x", ""},
        {"iris", "f/2.8", "11 280"}, {"wb", "cloudy", "12 32784"}, {"shutter", "1/125", "16 1/125"},
        {"shutter", "2.5", "16 25/10"}, {"shutter", "Bulb", "16 65535/65535"},
        {"shutter", "1/1.3", "16 10/13"}, {"quiet", "x", "timeout"},
        {"plain", "x", "unknown PTP Property 5005 changed"},
    };
    // clang-format on
    GpCamera cam;
    for (const auto& [widget, value, event] : cases) {
        ASSERT_EQ(sim.ChangeOnCamera(widget, value), GP_OK) << widget << " " << value;
        EXPECT_EQ(cam.Wait(std::string(widget) == "quiet" ? 50 : 1000).Text(),
                  *event ? std::string(event) : "unknown PTP Property " + std::string(widget) + " changed")
            << widget << " " << value;
    }
    EXPECT_EQ(Camsim({"plug", "nikon-z8"}), "0 ");
    EXPECT_EQ(Camsim({"change", "shutterspeed2", "1.0000000000000000001"}), "0 ");
    EXPECT_EQ(GpCamera().Wait(1000).Text(), "unknown PTP Property d100 changed");
}

// Range values and bounds reach libgphoto2 as float: numbers a float cannot hold are refused.
TEST_F(SimRobustness, RangeBoundsAndValuesAFloatCannotHoldAreRefused) {
    Plug("sony-a7m3");
    const std::string finite = " must be a finite number a float can hold, not ",
                      range = " of a range must be a finite number";
    // clang-format off
    const std::pair<std::string, std::string> loads[] = {
        {R"("max": 1e39)", "\"max\"" + finite + "1e+39"}, {R"("min": -1e39)", "\"min\"" + finite + "-1e+39"},
        {R"("step": 1e300)", "\"step\"" + finite + "1e+300"}, {R"("value": "nan")", "\"value\" \"nan\"" + range},
        {R"("value": "-inf")", "\"value\" \"-inf\"" + range}, {R"("value": 1e39)", "\"value\" \"1e+39\"" + range},
        {R"("value": "1.5x")", "\"value\" \"1.5x\"" + range}};
    // clang-format on
    for (const auto& [keys, problem] : loads) {
        const std::string path = Profile(R"({"name": "r", "type": "range", )" + keys + "}");
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << keys;
        EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(path), HasSubstr("widget \"r\": " + problem)));
    }
    EXPECT_EQ(sim.Model(), kA7III);
    Plug(Profile(R"({"name": "r", "type": "range", "min": -5, "max": 5, "step": 0.5, "value": "1.5"})"));
    for (const char* value : {"nan", "inf", "1e39", "-1e39", "", "2,5"}) {
        EXPECT_EQ(sim.SetValue("r", value) + sim.ChangeOnCamera("r", value), 2 * GP_ERROR_BAD_PARAMETERS)
            << value;
        EXPECT_EQ(sim.LastError(),
                  std::string("\"") + value +
                      "\" is no value for the range widget \"r\": it must be a finite number a "
                      "float can hold");
    }
    EXPECT_EQ(Camsim({"set", "r", "1e39"}),
              "1 camsim: \"1e39\" is no value for the range widget \"r\": it must be a "
              "finite number a float can hold (Bad parameters, -2)\n");
    GpCamera cam;  // the state still loads: every value and bound is a number JSON holds
    GpWidget w;
    float value = 0, low = 0, high = 0, step = 0;
    ASSERT_EQ((Codes{sim.SetValue("r", "-4.5"), cam.Get("r", &w), gp_widget_get_value(w.Get(), &value),
                     gp_widget_get_range(w.Get(), &low, &high, &step)}),
              Codes(4, GP_OK));
    EXPECT_EQ(std::vector<float>({value, low, high, step}), std::vector<float>({-4.5f, -5, 5, 0.5f}));
}

}  // namespace
