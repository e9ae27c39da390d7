// Widgets of the model profiles as libgphoto2 callers see them, and sets through libgphoto2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "CamSim.h"
#include "GpCamera.h"
#include "SimTestDir.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace {

struct Expected {
    const char* name;
    CameraWidgetType type;
};

const Expected kSony[] = {
    {"focusmode", GP_WIDGET_RADIO},     {"iso", GP_WIDGET_RADIO},          {"f-number", GP_WIDGET_RADIO},
    {"shutterspeed", GP_WIDGET_RADIO},  {"whitebalance", GP_WIDGET_RADIO}, {"expprogram", GP_WIDGET_RADIO},
    {"movie", GP_WIDGET_RADIO},         {"d21d", GP_WIDGET_TEXT},          {"batterylevel", GP_WIDGET_TEXT},
    {"kd_touch_focus", GP_WIDGET_TEXT}, {"500e", GP_WIDGET_RADIO}};
const Expected kCanon[] = {{"eosmovieswitch", GP_WIDGET_TEXT}, {"autoexposuremode", GP_WIDGET_RADIO},
                           {"capturetarget", GP_WIDGET_RADIO}, {"movierecordtarget", GP_WIDGET_RADIO},
                           {"aperture", GP_WIDGET_RADIO},      {"shutterspeed", GP_WIDGET_RADIO},
                           {"whitebalance", GP_WIDGET_RADIO},  {"focusmode", GP_WIDGET_RADIO},
                           {"iso", GP_WIDGET_RADIO},           {"kd_touch_focus", GP_WIDGET_TEXT},
                           {"batterylevel", GP_WIDGET_TEXT}};
const Expected kNikon[] = {{"mrb-LiveViewSelector", GP_WIDGET_TOGGLE},
                           {"kd_nikon_photo_iso", GP_WIDGET_RADIO},
                           {"kd_nikon_movie_iso", GP_WIDGET_RADIO},
                           {"kd_nikon_movie_f_numer", GP_WIDGET_RADIO},
                           {"f-number", GP_WIDGET_RADIO},
                           {"shutterspeed2", GP_WIDGET_RADIO},
                           {"whitebalance", GP_WIDGET_RADIO},
                           {"focusmode", GP_WIDGET_RADIO},
                           {"expprogram", GP_WIDGET_RADIO},
                           {"movie", GP_WIDGET_TOGGLE},
                           {"applicationmode", GP_WIDGET_TEXT},
                           {"kd_touch_focus", GP_WIDGET_TEXT},
                           {"batterylevel", GP_WIDGET_TEXT}};

class SimWidgets : public ::testing::Test {
  protected:
    void Plug(const std::string& model) { ASSERT_EQ(sim.Plug(model), GP_OK) << sim.LastError(); }
    std::vector<std::string> Choices(GpCamera& cam, const std::string& name) {
        GpWidget w;
        EXPECT_EQ(cam.Get(name, &w), GP_OK) << name;
        return w.Get() ? w.Choices() : std::vector<std::string>();
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

TEST_F(SimWidgets, EveryModelServesTheWidgetsOfItsClassWithValuesAndChoices) {
    const std::vector<std::string> models = camsim::Models();
    ASSERT_EQ(models.size(), 14u);
    for (size_t m = 0; m < models.size(); ++m) {
        Plug(models[m]);
        GpCamera cam;
        std::vector<Expected> expected;
        if (models[m].rfind("Sony ", 0) == 0)
            expected.assign(std::begin(kSony), std::end(kSony));
        if (models[m].rfind("Canon ", 0) == 0)
            expected.assign(std::begin(kCanon), std::end(kCanon));
        if (models[m].rfind("Nikon ", 0) == 0)
            expected.assign(std::begin(kNikon), std::end(kNikon));
        ASSERT_FALSE(expected.empty()) << models[m];
        for (const Expected& e : expected) {
            GpWidget w;
            ASSERT_EQ(cam.Get(e.name, &w), GP_OK) << models[m] << " " << e.name;
            EXPECT_EQ(w.Type(), e.type) << models[m] << " " << e.name;
            if (e.type == GP_WIDGET_RADIO) {
                EXPECT_GE(w.Choices().size(), 2u) << models[m] << " " << e.name;
                EXPECT_THAT(w.Choices(), Contains(w.Text())) << models[m] << " " << e.name;
            }
        }
        GpWidget absent;
        EXPECT_EQ(cam.Get("no-such-widget", &absent), GP_ERROR_BAD_PARAMETERS);
    }
}

TEST_F(SimWidgets, SonyA7IIIListsSuitThePositionFilters) {
    Plug("Sony Alpha-A7 III (PC Control)");
    GpCamera cam;
    std::vector<std::string> focus = Choices(cam, "focusmode");
    ASSERT_GE(focus.size(), 5u);
    EXPECT_EQ(focus[0], "Manual");
    EXPECT_EQ(focus[1], "Automatic");
    std::vector<std::string> iso = Choices(cam, "iso");
    ASSERT_GE(iso.size(), 40u);
    EXPECT_THAT(std::vector<std::string>(iso.begin(), iso.begin() + 3), ElementsAre("AUTO", "50", "64"));
    std::vector<std::string> shutter = Choices(cam, "shutterspeed");
    EXPECT_GE(shutter.size(), 60u);
    EXPECT_THAT(shutter, Contains("Bulb"));
    EXPECT_THAT(shutter, Contains("0/0"));
    EXPECT_EQ(shutter[0], "30");
    EXPECT_EQ(shutter[54], "1/8000");
    EXPECT_THAT(Choices(cam, "whitebalance"), Contains("Flash"));
    std::vector<std::string> programs = Choices(cam, "expprogram");
    for (const char* p : {"P", "A", "S", "M", "Movie (P)", "Movie (A)", "Movie (S)", "Movie (M)", "S&Q",
                          "Intelligent Auto", "Unknown value 8085"}) {
        EXPECT_THAT(programs, Contains(p));
    }
    std::vector<std::string> apertures = Choices(cam, "f-number");
    EXPECT_EQ(apertures.front(), "f/1.8");
    EXPECT_EQ(apertures.back(), "f/22");
    EXPECT_EQ(cam.Value("batterylevel"), "85%");
    EXPECT_EQ(cam.Value("d21d"), "0");
}

TEST_F(SimWidgets, Sony500eCarriesTheProgramValueAndMovesWithTheProgram) {
    Plug("Sony ILME-FX3 (PC Control)");
    GpCamera cam;
    EXPECT_EQ(cam.Value("500e"), "65538");
    EXPECT_THAT(Choices(cam, "500e"), Contains("491600"));
    EXPECT_THAT(Choices(cam, "500e"), Contains("622736"));
    ASSERT_EQ(cam.SetText("500e", "491603"), GP_OK);
    EXPECT_EQ(cam.Value("expprogram"), "Movie (M)");
    ASSERT_EQ(cam.SetText("expprogram", "M"), GP_OK);
    EXPECT_EQ(cam.Value("500e"), "1");
}

// Every program a Sony body offers is linked both ways between its two widgets.
TEST_F(SimWidgets, EverySonyProgramValueAndTextAreLinkedBothWays) {
    for (const std::string& model : camsim::Models()) {
        if (model.rfind("Sony ", 0) != 0)
            continue;
        Plug(model);
        GpCamera cam;
        const std::vector<std::string> values = Choices(cam, "500e");
        const std::vector<std::string> texts = Choices(cam, "expprogram");
        EXPECT_EQ(values.size(), texts.size()) << model;
        EXPECT_GE(values.size(), 14u) << model;
        for (const std::string& value : values) {
            ASSERT_EQ(cam.SetText("500e", value), GP_OK) << model << " " << value;
            const std::string text = cam.Value("expprogram");
            EXPECT_THAT(texts, Contains(text)) << model << " " << value;
            ASSERT_EQ(cam.SetText("500e", "65538"), GP_OK);
            ASSERT_EQ(cam.SetText("expprogram", text), GP_OK);
            EXPECT_EQ(cam.Value("500e"), value) << model << " " << text;
        }
    }
}

TEST_F(SimWidgets, CanonListsCarryTheDriversOddTexts) {
    Plug("Canon EOS R6");
    {
        GpCamera cam;
        EXPECT_THAT(Choices(cam, "aperture"), Contains("Unknown value 00ff"));
        EXPECT_THAT(Choices(cam, "whitebalance"), Contains("AWB White"));
        EXPECT_THAT(Choices(cam, "focusmode"), ElementsAre("One Shot", "AI Focus", "AI Servo", "Manual"));
        EXPECT_THAT(Choices(cam, "capturetarget"), ElementsAre("Internal RAM", "Memory card"));
        EXPECT_THAT(Choices(cam, "movierecordtarget"), ElementsAre("Card", "None"));
        for (const char* mode : {"P", "TV", "AV", "Manual", "Fv", "Bulb"}) {
            EXPECT_THAT(Choices(cam, "autoexposuremode"), Contains(mode));
        }
    }
    Plug("Canon EOS RP");
    GpCamera cam;
    EXPECT_THAT(Choices(cam, "aperture"), Contains("implicit auto"));
    EXPECT_THAT(Choices(cam, "shutterspeed"), Contains("bulb"));
    EXPECT_THAT(Choices(cam, "focusmode"), Contains("Unknown value 0007"));
}

TEST_F(SimWidgets, NikonListsAndIntegerWidgets) {
    Plug("Nikon Z8");
    GpCamera cam;
    EXPECT_THAT(Choices(cam, "whitebalance"),
                ElementsAre("Automatic", "Natural light auto", "Daylight", "Cloudy", "Shade", "Tungsten",
                            "Fluorescent", "Flash", "Color Temperature", "Preset"));
    EXPECT_THAT(Choices(cam, "focusmode"), ElementsAre("Manual", "AF-S", "AF-C", "AF-F"));
    EXPECT_THAT(Choices(cam, "expprogram"), ElementsAre("M", "P", "A", "S"));
    EXPECT_EQ(Choices(cam, "shutterspeed2").back(), "1/32000");

    ASSERT_EQ(sim.SetValue("mrb-LiveViewSelector", "1"), GP_OK);
    GpWidget selector;
    ASSERT_EQ(cam.Get("mrb-LiveViewSelector", &selector), GP_OK);
    int movieMode = 0;
    ASSERT_EQ(gp_widget_get_value(selector.Get(), &movieMode), GP_OK);
    EXPECT_EQ(movieMode, 1);

    ASSERT_EQ(cam.SetInt("movie", 1), GP_OK);
    EXPECT_EQ(sim.Value("movie"), "1");
    ASSERT_EQ(cam.SetText("applicationmode", "1"), GP_OK);
    EXPECT_THAT(sim.Received(), ElementsAre("movie=1", "applicationmode=1"));
}

// The Nikon Z live-view selector decides which widgets take sets.
TEST_F(SimWidgets, NikonSelectorDecidesWhichWidgetsTakeSets) {
    struct Case {
        const char* widget;
        const char* value;
        int inPhotoMode;
        int inMovieMode;
    };
    const Case cases[] = {
        {"kd_nikon_photo_iso", "400", GP_OK, GP_ERROR_CAMERA_BUSY},
        {"f-number", "f/8", GP_OK, GP_ERROR_CAMERA_BUSY},
        {"kd_nikon_movie_iso", "400", GP_ERROR_CAMERA_BUSY, GP_OK},
        {"kd_nikon_movie_f_numer", "f/8", GP_ERROR_CAMERA_BUSY, GP_OK},
        {"movie", "1", GP_ERROR_CAMERA_BUSY, GP_OK},
        {"applicationmode", "1", GP_OK, GP_OK},
        {"shutterspeed2", "1/500", GP_OK, GP_OK},
        {"whitebalance", "Shade", GP_OK, GP_OK},
    };
    for (const char* model : {"Nikon Z8", "Nikon Z9"}) {
        for (const char* selector : {"0", "1"}) {
            for (const Case& c : cases) {
                Plug(model);
                GpCamera cam;
                ASSERT_EQ(sim.ChangeOnCamera("mrb-LiveViewSelector", selector), GP_OK);
                ASSERT_EQ(cam.Wait(1000).type, GP_EVENT_UNKNOWN) << "the switch is reported";
                const std::string before = sim.Value(c.widget).value_or("?");
                int expected = selector[0] == '0' ? c.inPhotoMode : c.inMovieMode;
                int rc = c.widget == std::string("movie") ? cam.SetInt(c.widget, 1)
                                                          : cam.SetText(c.widget, c.value);
                EXPECT_EQ(rc, expected) << model << " selector " << selector << " " << c.widget;
                EXPECT_EQ(sim.Value(c.widget), expected == GP_OK ? c.value : before) << c.widget;
                EXPECT_THAT(sim.Received(), ElementsAre(std::string(c.widget) + "=" + c.value));
                if (expected != GP_OK) {
                    EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT) << "a refused set raises nothing";
                }
            }
        }
    }
}

TEST_F(SimWidgets, RequiresHoldsForOneValueOrEveryValueAndSurvivesTheStateFile) {
    std::string path = dir.File("gated.json");
    std::ofstream(path) << R"({"model": "Nikon Z9", "widgets": [
        {"name": "a", "type": "toggle", "value": 0}, {"name": "b", "type": "text", "value": "x"},
        {"name": "gated", "type": "text", "value": "", "requires": {"*": {"a": true, "b": "y"}}},
        {"name": "one", "type": "radio", "value": "off", "choices": ["on", "off"],
         "requires": {"on": {"a": 1}}}]})";
    ASSERT_EQ(sim.Plug(path), GP_OK) << sim.LastError();
    GpCamera cam;
    EXPECT_EQ(cam.SetText("gated", "1"), GP_ERROR_CAMERA_BUSY) << "neither holds";
    EXPECT_EQ(cam.SetText("one", "on"), GP_ERROR_CAMERA_BUSY);
    ASSERT_EQ(sim.SetValue("a", "1"), GP_OK);
    EXPECT_EQ(cam.SetText("gated", "2"), GP_ERROR_CAMERA_BUSY) << "one of two holds";
    EXPECT_EQ(cam.SetText("one", "on"), GP_OK);
    ASSERT_EQ(sim.SetValue("b", "y"), GP_OK);
    EXPECT_EQ(cam.SetText("gated", "3"), GP_OK);
    ASSERT_EQ(sim.SetValue("a", "0"), GP_OK);
    EXPECT_EQ(cam.SetText("one", "off"), GP_OK) << "only the named value is gated";
    EXPECT_EQ(sim.Value("gated"), "3");
    EXPECT_EQ(sim.Value("one"), "off");
}

TEST_F(SimWidgets, AcceptedValueIsSeenByTheNextOpenAndRefusedOneLeavesTheValue) {
    Plug("Sony Alpha-A7 III (PC Control)");
    {
        GpCamera cam;
        EXPECT_EQ(cam.SetText("iso", "800"), GP_OK);
        EXPECT_EQ(cam.SetText("iso", "12345"), GP_ERROR_BAD_PARAMETERS);
        EXPECT_EQ(cam.SetText("kd_touch_focus", "(120, 300)"), GP_OK);
        EXPECT_EQ(cam.SetText("batterylevel", "10%"), GP_ERROR_NOT_SUPPORTED);  // read-only
    }
    GpCamera other;
    EXPECT_EQ(other.Value("iso"), "800");
    EXPECT_EQ(sim.Value("iso"), "800");
    EXPECT_EQ(sim.Value("kd_touch_focus"), "(120, 300)");
    EXPECT_EQ(sim.Value("batterylevel"), "85%");
    EXPECT_THAT(sim.Received(),
                ElementsAre("iso=800", "iso=12345", "kd_touch_focus=(120, 300)", "batterylevel=10%"));
    sim.ClearReceived();
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(SimWidgets, WholeTreeGetAndSetWork) {
    Plug("Canon EOS R6m2");
    GpCamera cam;
    CameraWidget* root = nullptr;
    ASSERT_EQ(gp_camera_get_config(cam.Get(), &root, cam.Context()), GP_OK);
    CameraWidget* iso = nullptr;
    ASSERT_EQ(gp_widget_get_child_by_name(root, "iso", &iso), GP_OK);
    CameraWidget* section = nullptr;
    ASSERT_EQ(gp_widget_get_parent(iso, &section), GP_OK);
    const char* sectionName = nullptr;
    gp_widget_get_name(section, &sectionName);
    EXPECT_STREQ(sectionName, "imgsettings");
    ASSERT_EQ(gp_widget_set_value(iso, "3200"), GP_OK);
    EXPECT_EQ(gp_camera_set_config(cam.Get(), root, cam.Context()), GP_OK);
    gp_widget_free(root);
    EXPECT_EQ(sim.Value("iso"), "3200");
    EXPECT_THAT(sim.Received(), ElementsAre("iso=3200"));  // only the changed widget is sent
}

TEST_F(SimWidgets, ControlApiEditsWidgetsAsTheCameraSideSeesThem) {
    Plug("Sony ZV-E10 (Control)");
    EXPECT_EQ(sim.AddWidget("d21e", camsim::WidgetKind::Menu, "b", {"a", "b"}), GP_OK);
    EXPECT_EQ(sim.AddWidget("exposure", camsim::WidgetKind::Range, "1.5"), GP_OK);
    EXPECT_EQ(sim.SetChoices("whitebalance", {"Automatic", "Daylight"}), GP_OK);
    EXPECT_EQ(sim.SetValue("focusmode", "Undefined"), GP_OK);  // the camera may report texts outside its list
    EXPECT_EQ(sim.RemoveWidget("batterylevel"), GP_OK);
    EXPECT_EQ(sim.RemoveWidget("batterylevel"), GP_ERROR_BAD_PARAMETERS);
    EXPECT_EQ(sim.SetValue("nothing", "1"), GP_ERROR_BAD_PARAMETERS);
    EXPECT_FALSE(sim.Value("nothing").has_value());
    EXPECT_THAT(sim.Choices("whitebalance"), ElementsAre("Automatic", "Daylight"));

    GpCamera cam;
    GpWidget menu, range, wb, battery;
    ASSERT_EQ(cam.Get("d21e", &menu), GP_OK);
    EXPECT_EQ(menu.Type(), GP_WIDGET_MENU);
    EXPECT_EQ(menu.Text(), "b");
    ASSERT_EQ(cam.Get("exposure", &range), GP_OK);
    float v = 0;
    ASSERT_EQ(gp_widget_get_value(range.Get(), &v), GP_OK);
    EXPECT_FLOAT_EQ(v, 1.5f);
    ASSERT_EQ(cam.Get("whitebalance", &wb), GP_OK);
    EXPECT_THAT(wb.Choices(), ElementsAre("Automatic", "Daylight"));
    EXPECT_EQ(cam.Value("focusmode"), "Undefined");
    EXPECT_EQ(cam.Get("batterylevel", &battery), GP_ERROR_BAD_PARAMETERS);
    EXPECT_TRUE(sim.Received().empty());  // camera-side edits are not "received"
}

}  // namespace
