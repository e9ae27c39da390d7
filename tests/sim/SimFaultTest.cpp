// Injected faults as a libgphoto2 caller meets them, and broken profiles and state files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "CamSim.h"
#include "GpCamera.h"
#include "SimTestDir.h"

using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

class SimFaults : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(sim.Plug("Sony Alpha-A7 III (PC Control)"), GP_OK) << sim.LastError(); }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir.Path() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

TEST_F(SimFaults, LookupFailsWithTheGivenCodeInSingleAndTreeAccess) {
    ASSERT_EQ(sim.FailLookup("iso", GP_ERROR_NOT_SUPPORTED), GP_OK);
    GpCamera cam;
    GpWidget w;
    EXPECT_EQ(cam.Get("iso", &w), GP_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(w.Get(), nullptr);
    CameraWidget* root = nullptr;
    ASSERT_EQ(gp_camera_get_config(cam.Get(), &root, cam.Context()), GP_OK);
    CameraWidget* child = nullptr;
    EXPECT_EQ(gp_widget_get_child_by_name(root, "iso", &child), GP_ERROR_BAD_PARAMETERS);
    EXPECT_EQ(gp_widget_get_child_by_name(root, "f-number", &child), GP_OK);
    gp_widget_free(root);
    ASSERT_EQ(sim.FailLookup("iso", 0), GP_OK);
    EXPECT_EQ(cam.Value("iso"), "AUTO");
    EXPECT_EQ(sim.FailLookup("nothing", -1), GP_ERROR_BAD_PARAMETERS);
}

TEST_F(SimFaults, ValueFaultsServeWidgetsWithoutValueOrWithoutType) {
    ASSERT_EQ(sim.SetValueFault("iso", camsim::ValueFault::NoValue), GP_OK);
    ASSERT_EQ(sim.SetValueFault("whitebalance", camsim::ValueFault::Typeless), GP_OK);
    GpCamera cam;
    GpWidget iso, wb;
    ASSERT_EQ(cam.Get("iso", &iso), GP_OK);
    EXPECT_EQ(iso.Type(), GP_WIDGET_RADIO);
    char* text = reinterpret_cast<char*>(1);
    EXPECT_EQ(gp_widget_get_value(iso.Get(), &text), GP_OK);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(gp_widget_count_choices(iso.Get()), 41);

    ASSERT_EQ(cam.Get("whitebalance", &wb), GP_OK);
    EXPECT_EQ(wb.Type(), GP_WIDGET_SECTION);
    EXPECT_EQ(gp_widget_get_value(wb.Get(), &text), GP_ERROR_BAD_PARAMETERS);
    EXPECT_EQ(gp_widget_count_choices(wb.Get()), GP_ERROR_BAD_PARAMETERS);

    sim.ClearFaults();
    EXPECT_EQ(cam.Value("iso"), "AUTO");
    EXPECT_EQ(cam.Value("whitebalance"), "Automatic");
}

TEST_F(SimFaults, FailedSetLeavesTheValueButIsReceived) {
    ASSERT_EQ(sim.FailSet("f-number", GP_ERROR_CAMERA_BUSY), GP_OK);
    GpCamera cam;
    EXPECT_EQ(cam.SetText("f-number", "f/8"), GP_ERROR_CAMERA_BUSY);
    EXPECT_EQ(sim.Value("f-number"), "f/4");
    EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT);
    EXPECT_THAT(sim.Received(), ::testing::ElementsAre("f-number=f/8"));
    ASSERT_EQ(sim.FailSet("f-number", 0), GP_OK);
    EXPECT_EQ(cam.SetText("f-number", "f/8"), GP_OK);
}

TEST_F(SimFaults, ConnectFailsTheGivenNumberOfOpens) {
    ASSERT_EQ(sim.FailConnect(GP_ERROR_TIMEOUT, 2), GP_OK);
    GpCamera cam;
    CameraWidget* root = nullptr;
    EXPECT_EQ(gp_camera_get_config(cam.Get(), &root, cam.Context()), GP_ERROR_TIMEOUT);
    EXPECT_EQ(gp_camera_get_config(cam.Get(), &root, cam.Context()), GP_ERROR_TIMEOUT);
    ASSERT_EQ(gp_camera_get_config(cam.Get(), &root, cam.Context()), GP_OK);
    gp_widget_free(root);
    GpCamera other;
    ASSERT_EQ(sim.FailConnect(GP_ERROR_IO_USB_CLAIM, 1), GP_OK);
    EXPECT_EQ(other.Value("iso"), "");
    EXPECT_EQ(other.Value("iso"), "AUTO");
    EXPECT_EQ(cam.Value("iso"), "AUTO");  // an open camera is not affected
}

TEST_F(SimFaults, EventWaitReportsTheInjectedLossCodes) {
    GpCamera cam;
    for (int code : {GP_ERROR_IO, GP_ERROR_IO_USB_FIND, GP_ERROR_MODEL_NOT_FOUND}) {
        ASSERT_EQ(sim.QueueRecordEvent(1), GP_OK);
        ASSERT_EQ(sim.FailEventWait(code), GP_OK);
        EXPECT_EQ(cam.Wait(100).rc, code);
        GpEvent e = cam.Wait(100);  // the fault was for one wait; the event is still there
        EXPECT_EQ(e.rc, GP_OK);
        EXPECT_EQ(e.type, 10);
    }
    ASSERT_EQ(sim.FailEventWait(GP_ERROR_IO, 2), GP_OK);
    EXPECT_EQ(cam.Wait(0).rc, GP_ERROR_IO);
    sim.ClearFaults();
    EXPECT_EQ(cam.Wait(0).rc, GP_OK);
}

TEST_F(SimFaults, UnplugDuringAWaitEndsItWithAnIoError) {
    GpCamera cam;
    ASSERT_EQ(cam.Value("iso"), "AUTO");
    std::thread puller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        camsim::Simulator(dir.Path()).Unplug();
    });
    GpEvent e = cam.Wait(10000);
    puller.join();
    EXPECT_EQ(e.rc, GP_ERROR_IO);
}

TEST_F(SimFaults, MalformedProfilesAreRefusedWithFileAndProblem) {
    struct Case {
        const char* file;
        const char* text;
        const char* problem;
    };
    const Case cases[] = {
        {"syntax.json", "{\"model\": \"Nikon Z8\", \"widgets\": [", "parse error"},
        {"nomodel.json", "{\"widgets\": []}", "missing \"model\""},
        {"othermodel.json", "{\"model\": \"Nikon Z7\"}", "not one of the simulated models"},
        {"type.json", "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"iso\", \"type\": \"dial\"}]}",
         "unknown type \"dial\""},
        {"choices.json", "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"iso\", \"choices\": 5}]}",
         "widget \"iso\": \"choices\" must be an array"},
        {"twice.json", "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"a\"}, {\"name\": \"a\"}]}",
         "listed twice"},
        {"parent.json", "{\"model\": \"Nikon Z8\", \"inherits\": \"nowhere\"}", "does not exist"},
        {"effect.json",
         "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"a\", \"effects\": {\"1\": {\"b\": \"2\"}}}]}",
         "effect on unknown widget \"b\""},
        {"event.json",
         "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"a\", \"event\": {\"encode\": \"x\"}}]}",
         "integer \"type\""},
        {"array.json", "[1, 2]", "top level must be an object"},
        {"requires.json",
         "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"a\", \"requires\": {\"*\": {\"b\": \"1\"}}}]}",
         "requires unknown widget \"b\""},
        {"requirestype.json",
         "{\"model\": \"Nikon Z8\", \"widgets\": [{\"name\": \"a\", \"requires\": [\"b\"]}]}",
         "widget \"a\": \"requires\" must map values to objects of widget values"},
    };
    for (const Case& c : cases) {
        std::string path = Write(c.file, c.text);
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA) << c.file;
        EXPECT_THAT(sim.LastError(), AllOf(HasSubstr(path), HasSubstr(c.problem))) << c.file;
    }
    EXPECT_EQ(sim.Model(), "Sony Alpha-A7 III (PC Control)");  // still the camera plugged before
    EXPECT_EQ(sim.Plug(dir.Path() + "/missing.json"), GP_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sim.Plug("no-such-profile"), GP_ERROR_FILE_NOT_FOUND);
}

TEST_F(SimFaults, InheritingProfileOverridesAndRemovesWidgets) {
    Write("base-mine.json",
          R"({"model": "Nikon Z8", "settle_ms": 5, "widgets": [
                {"name": "iso", "type": "radio", "value": "100", "choices": ["100", "200"]},
                {"name": "gone", "type": "text", "value": "x"}]})");
    std::string path =
        Write("mine.json", R"({"inherits": "base-mine", "model": "Nikon Z9", "remove": ["gone"],
                "widgets": [{"name": "iso", "value": "200"}, {"name": "extra", "type": "toggle", "value": true}]})");
    ASSERT_EQ(sim.Plug(path), GP_OK) << sim.LastError();
    EXPECT_EQ(sim.Model(), "Nikon Z9");
    EXPECT_EQ(sim.Value("iso"), "200");
    EXPECT_THAT(sim.Choices("iso"), ::testing::ElementsAre("100", "200"));
    EXPECT_FALSE(sim.Value("gone").has_value());
    EXPECT_EQ(sim.Value("extra"), "1");
}

TEST_F(SimFaults, MalformedStateFileFailsCallsWithoutCrashing) {
    GpCamera cam;
    ASSERT_EQ(cam.Value("iso"), "AUTO");
    Write("state.json", "{\"version\": 1, \"widgets\": [{\"name\": 3}]}");
    GpWidget w;
    EXPECT_EQ(cam.Get("iso", &w), GP_ERROR_CORRUPTED_DATA);
    EXPECT_EQ(cam.Wait(10).rc, GP_ERROR_CORRUPTED_DATA);
    EXPECT_FALSE(sim.Value("iso").has_value());
    EXPECT_THAT(sim.LastError(),
                AllOf(HasSubstr(dir.Path() + "/state.json"), HasSubstr("\"name\" must be a string")));
    EXPECT_EQ(sim.SetValue("iso", "800"), GP_ERROR_CORRUPTED_DATA);
    Write("state.json", "not json");
    GpCamera fresh;
    EXPECT_EQ(fresh.Value("iso"), "");
    EXPECT_EQ(sim.Unplug(), GP_ERROR_CORRUPTED_DATA);
    EXPECT_THAT(sim.LastError(), HasSubstr("parse error"));
    Write("plug", "garbage");
    EXPECT_THAT(Autodetect(), ::testing::IsEmpty());
    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);  // plugging starts over
    EXPECT_EQ(sim.Value("iso"), "AUTO");
}

}  // namespace
