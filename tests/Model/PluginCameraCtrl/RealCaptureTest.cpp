// Every model class through the plug-in against the forms real bodies serve: two users' captures
// (sim/captures) and small hand-made ones. A set of a listed value reaches the camera in the
// widget's own form and comes back in a record, or is refused with the camera's value kept.
#include <algorithm>
#include <fstream>
#include <map>
#include <tuple>

#include "CaptureImporter.h"
#include "PluginHostFixture.h"

namespace {

using namespace plugin_host;

// Blocks of `gphoto2 --list-all-config`, each laid over a stock profile.
const char kRangeFNumber[] =
    "/main/capturesettings/f-number\nLabel: F-Number\nReadonly: 0\nType: RANGE\nCurrent: 4\n"
    "Bottom: 1.4\nTop: 22\nStep: 0.1\nEND\n";
const char kNoIsoChoices[] =
    "/main/imgsettings/iso\nLabel: ISO Speed\nReadonly: 0\nType: RADIO\nCurrent: 100\nEND\n";
const char kReadOnlyFocus[] =
    "/main/capturesettings/focusmode\nLabel: Focus Mode\nReadonly: 1\nType: RADIO\nCurrent: Manual\n"
    "Choice: 0 Manual\nChoice: 1 AF-S\nChoice: 2 AF-C\nEND\n";
const char kOneAperture[] =
    "/main/capturesettings/aperture\nLabel: Aperture\nReadonly: 0\nType: RADIO\nCurrent: f/4\n"
    "Choice: 0 f/4\nEND\n";

struct Case {
    const char* name;
    const char* capture;  // a file of sim/captures, or the capture text itself
    const char* base;     // the stock profile that supplies what a capture cannot hold, and the model
};

// clang-format off
const Case kCases[] = {
    {"A7M3_ZVE10Capture", "sony-zv-e10.txt", "sony-a7m3"},       {"A7M4_ZVE10Capture", "sony-zv-e10.txt", "sony-a7m4"},
    {"A7S3_ZVE10Capture", "sony-zv-e10.txt", "sony-a7s3"},       {"ZVE10_ZVE10Capture", "sony-zv-e10.txt", "sony-zve10"},
    {"FX3_ZVE10Capture", "sony-zv-e10.txt", "sony-fx3"},         {"FX3A_ZVE10Capture", "sony-zv-e10.txt", "sony-fx3a"},
    {"FX30_ZVE10Capture", "sony-zv-e10.txt", "sony-fx30"},       {"ZVE10M2_ZVE10Capture", "sony-zv-e10.txt", "sony-zve10m2"},
    {"Z8_Z9Capture", "nikon-z9.txt", "nikon-z8"},                {"Z9_Z9Capture", "nikon-z9.txt", "nikon-z9"},
    {"A7M3_RangeFNumber", kRangeFNumber, "sony-a7m3"},           {"FX30_RangeFNumber", kRangeFNumber, "sony-fx30"},
    {"Z8_RangeFNumber", kRangeFNumber, "nikon-z8"},              {"ZVE10_NoIsoChoices", kNoIsoChoices, "sony-zve10"},
    {"A7M4_NoIsoChoices", kNoIsoChoices, "sony-a7m4"},           {"Z8_ReadOnlyFocus", kReadOnlyFocus, "nikon-z8"},
    {"R6_ReadOnlyFocus", kReadOnlyFocus, "canon-r6"},            {"R6_OneAperture", kOneAperture, "canon-r6"},
    {"R6M2_OneAperture", kOneAperture, "canon-r6m2"},            {"RP_OneAperture", kOneAperture, "canon-rp"},
};
// clang-format on

using P = CameraParams;
const std::pair<EventType, std::pair<std::string P::*, Strings P::*>> kSettings[] = {
    {CAMERA_SET_FOCUS_MODE_EVENT, {&P::focusMode, &P::supportedFocusMode}},
    {CAMERA_SET_ISO_EVENT, {&P::iso, &P::supportedIso}},
    {CAMERA_SET_IRIS_EVENT, {&P::iris, &P::supportedIris}},
    {CAMERA_SET_SHUTTER_SPEED_EVENT, {&P::shutterSpeed, &P::supportedShutterSpeed}},
    {CAMERA_SET_WHITE_BALANCE_EVENT, {&P::whiteBalance, &P::supportedWhiteBalance}},
};

// The first, middle and last entries that differ from the current value.
Strings Picks(const Strings& list, const std::string& current) {
    Strings out;
    for (size_t at : {size_t{0}, list.size() / 2, list.size() - 1}) {
        if (at < list.size() && list[at] != current && std::count(out.begin(), out.end(), list[at]) == 0)
            out.push_back(list[at]);
    }
    return out;
}

class RealCaptureTest : public PluginHostTest, public ::testing::WithParamInterface<Case> {
  protected:
    // The capture laid over its base, as `camsim import --inherits` makes it.
    std::string Import(const Case& c) {
        std::string text = c.capture;
        if (text.find('\n') == std::string::npos) {
            std::ifstream in(std::string(SIM_DIR) + "/captures/" + c.capture);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        const std::string base = std::string(SIM_DIR) + "/profiles/" + c.base + ".json";
        camsim::CaptureImporter importer(c.name);
        nlohmann::ordered_json profile;
        EXPECT_EQ(importer.Parse(text), GP_OK) << importer.Error();
        const std::string model = nlohmann::json::parse(std::ifstream(base)).value("model", "");
        EXPECT_EQ(importer.Build(model, base, &profile), GP_OK) << importer.Error();
        std::string path = dir.Path() + "/imported.json";
        std::ofstream(path) << profile.dump();
        return path;
    }

    size_t FailureLines() {
        const std::vector<LogLine> lines = log.Lines();
        return std::count_if(lines.begin(), lines.end(), [](const LogLine& l) { return l.level == 2; });
    }
};

TEST_P(RealCaptureTest, ListedValuesReachTheCameraInItsFormOrAreRefused) {
    const Case& c = GetParam();
    Start();
    CameraParams record = PlugAndConnect(Import(c));
    ASSERT_EQ(record.connectState, 1);
    const Strings& irises = record.supportedIris;
    EXPECT_TRUE(c.capture != kRangeFNumber ||
                (record.iris == "f/4" && std::count(irises.begin(), irises.end(), "f/4")))
        << "a range's f-number is published as the list spells it";
    for (const auto& setting : kSettings) {
        std::string P::*field = setting.second.first;
        for (const std::string& value : Picks(Last().*setting.second.second, Last().*field)) {
            SCOPED_TRACE("set " + value);
            const CameraParams before = Last();
            std::map<std::string, std::string> camera;
            for (const camsim::WidgetInfo& w : sim.Widgets())
                camera[w.name] = w.value;
            Settle(60);
            sim.ClearReceived();
            log.Clear();
            Request(setting.first, value);
            Eventually([&] { return Last().*field == value || FailureLines() > 0; }, 3000);
            Settle(60);
            const bool confirmed = Last().*field == value;
            for (const std::string& entry : sim.Received()) {
                const std::string name = entry.substr(0, entry.find('='));
                // Taken as it was sent, or refused with the camera's value left.
                EXPECT_EQ(sim.Value(name).value_or("?"),
                          confirmed ? entry.substr(name.size() + 1) : camera.at(name))
                    << entry;
            }
            if (!confirmed) {
                EXPECT_EQ(Last().*field, before.*field) << "a refused set leaves the camera's value";
                EXPECT_GT(FailureLines(), 0) << "a refusal says why";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, RealCaptureTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

// Misfits are refused before anything is sent; recording switches and touches all run, in order.
TEST_F(RealCaptureTest, TypedWritesRefuseMisfitsAndActionsRunInOrder) {
    Start();
    PlugAndConnect(Import(kCases[10]));  // range f-number on the A7 III
    ASSERT_EQ(sim.AddWidget("movie", camsim::WidgetKind::Toggle, "0"), 0);
    sim.ClearReceived();
    Request(CAMERA_ENABLE_RECORD_EVENT, "1");
    Request(CAMERA_ENABLE_RECORD_EVENT, "0");
    Request(CAMERA_TOUCH_FOCUS_EVENT, std::to_string((960 << 16) | 540));
    Request(CAMERA_TOUCH_FOCUS_EVENT, std::to_string(1079));
    EXPECT_TRUE(Eventually([&] { return sim.Received().size() >= 4; }));
    EXPECT_EQ(sim.Received(),
              (Strings{"movie=1", "movie=0", "kd_touch_focus=(240, 320)", "kd_touch_focus=(479, 0)"}));

    ASSERT_EQ(sim.AddWidget("kd_touch_focus", camsim::WidgetKind::Toggle, "0"), 0);
    ASSERT_EQ(sim.AddWidget("iso", camsim::WidgetKind::Date, "100"), 0);
    ASSERT_EQ(sim.SetValueFault("whitebalance", camsim::ValueFault::Typeless), 0);
    // The set, and what the camera received (or, where it received nothing, the line logged).
    // clang-format off
    const std::tuple<EventType, const char*, const char*, const char*> rows[] = {
        {CAMERA_SET_IRIS_EVENT, "f/5.6", "f-number=5.6", nullptr},
        {CAMERA_SET_IRIS_EVENT, "1.4", "f-number=1.4", nullptr},  // the range's bottom and top are in it
        {CAMERA_SET_IRIS_EVENT, "f/22", "f-number=22", nullptr},
        {CAMERA_SET_IRIS_EVENT, "1.3", nullptr, "Failed, f-number widget takes 1.4 to 22, not \"1.3\""},
        {CAMERA_SET_IRIS_EVENT, "f/32", nullptr, "Failed, f-number widget takes 1.4 to 22, not \"f/32\""},
        {CAMERA_SET_IRIS_EVENT, "Auto", nullptr, "Failed, f-number widget is a range and \"Auto\" is no number"},
        {CAMERA_SET_ISO_EVENT, "800", "iso=800", nullptr},
        {CAMERA_SET_ISO_EVENT, "AUTO", nullptr, "Failed, iso widget takes a whole number, not \"AUTO\""},
        {CAMERA_TOUCH_FOCUS_EVENT, "62915100", nullptr, "Failed, kd_touch_focus widget takes a whole number, not \"(240, 320)\""},
        {CAMERA_SET_WHITE_BALANCE_EVENT, "Daylight", nullptr, "Failed, whitebalance widget holds no value to set"},
    };
    // clang-format on
    for (const auto& [event, text, sent, failure] : rows) {
        SCOPED_TRACE(text);
        sim.ClearReceived();
        log.Clear();
        Request(event, text);
        EXPECT_TRUE(Eventually(
            [&, sent = sent, failure = failure] { return sent ? Received(sent) : log.Has(2, failure); }));
        EXPECT_TRUE(sent || sim.Received().empty());
    }
}

}  // namespace
