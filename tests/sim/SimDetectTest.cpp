// Detection and opening of the simulated cameras through the system libgphoto2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "CamSim.h"
#include "GpCamera.h"
#include "SimTestDir.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kPort[] = "usb:999,001";

TEST(SimDetect, AbilitiesHoldEveryModelEachWithItsOwnUsbIds) {
    camsim::SimTestDir dir;
    CameraAbilitiesList* list = nullptr;
    ASSERT_EQ(gp_abilities_list_new(&list), GP_OK);
    ASSERT_EQ(gp_abilities_list_load(list, nullptr), GP_OK);
    EXPECT_EQ(gp_abilities_list_count(list), 14);
    std::set<std::pair<int, int>> ids;
    for (const std::string& model : camsim::Models()) {
        int i = gp_abilities_list_lookup_model(list, model.c_str());
        ASSERT_GE(i, 0) << model;
        CameraAbilities a;
        ASSERT_EQ(gp_abilities_list_get_abilities(list, i, &a), GP_OK);
        EXPECT_STREQ(a.model, model.c_str());
        EXPECT_EQ(a.port, GP_PORT_USB);
        EXPECT_NE(a.usb_vendor, 0);
        ids.insert({a.usb_vendor, a.usb_product});
    }
    EXPECT_EQ(ids.size(), 14u);
    gp_abilities_list_free(list);
}

TEST(SimDetect, ModelsAreTheFactoryStringsInOrderThenABodyWithoutClassAndEachHasAProfile) {
    EXPECT_THAT(
        camsim::Models(),
        ElementsAre("Sony Alpha-A7 III (PC Control)", "Sony Alpha-A7 IV (PC Control)",
                    "Sony DSC-A7S III (Control)", "Sony ZV-E10 (Control)", "Sony ILME-FX3 (PC Control)",
                    "Sony ILME-FX3A (PC Control)", "Sony ILME-FX30 (PC Control)", "Sony ZV-E10M2 (Control)",
                    "Canon EOS R6", "Canon EOS R6m2", "Canon EOS RP", "Nikon Z8", "Nikon Z9",
                    "Sony ILCE-6400 (PC Control)"));
    EXPECT_THAT(camsim::ProfileNames(),
                ElementsAre("canon-r6", "canon-r6m2", "canon-rp", "nikon-z8", "nikon-z9", "sony-a6400",
                            "sony-a7m3", "sony-a7m4", "sony-a7s3", "sony-fx3", "sony-fx30", "sony-fx3a",
                            "sony-zve10", "sony-zve10m2"));
}

TEST(SimDetect, AutodetectReportsThePluggedModelAndNothingOnceUnplugged) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    EXPECT_THAT(Autodetect(), IsEmpty());  // nothing ever plugged here
    for (const std::string& model : camsim::Models()) {
        ASSERT_EQ(sim.Plug(model), GP_OK) << sim.LastError();
        EXPECT_TRUE(sim.Plugged());
        EXPECT_EQ(sim.Model(), model);
        EXPECT_THAT(Autodetect(), ElementsAre(model + "|" + kPort));
        ASSERT_EQ(sim.Unplug(), GP_OK);
        EXPECT_FALSE(sim.Plugged());
        int rc = -1;
        EXPECT_THAT(Autodetect(&rc), IsEmpty()) << model;
        EXPECT_EQ(rc, 0);
    }
}

TEST(SimDetect, PlugAcceptsProfileStemPathAndModelAndRefusesUnknownOnes) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    EXPECT_EQ(sim.Plug("nikon-z9"), GP_OK);
    EXPECT_EQ(sim.Model(), "Nikon Z9");
    EXPECT_EQ(sim.Plug(camsim::ProfileDir() + "/canon-rp.json"), GP_OK);
    EXPECT_EQ(sim.Model(), "Canon EOS RP");
    EXPECT_EQ(sim.Plug("Canon EOS R6M2"), GP_ERROR_FILE_NOT_FOUND);  // model strings are exact
    EXPECT_THAT(sim.LastError(), ::testing::HasSubstr("Canon EOS R6M2"));
    EXPECT_EQ(sim.Model(), "Canon EOS RP");  // a failed plug leaves the camera alone
}

TEST(SimDetect, OpenedCameraReportsItsModelAndTheStateDirectoryIsReadAtEachCall) {
    camsim::SimTestDir first, second;  // second is the current one now
    camsim::Simulator a(first.Path()), b(second.Path());
    ASSERT_EQ(a.Plug("sony-fx3a"), GP_OK);
    ASSERT_EQ(b.Plug("canon-r6m2"), GP_OK);
    EXPECT_THAT(Autodetect(), ElementsAre(std::string("Canon EOS R6m2|") + kPort));
    camsim::UseSimulatorDrivers(first.Path());
    EXPECT_THAT(Autodetect(), ElementsAre(std::string("Sony ILME-FX3A (PC Control)|") + kPort));
    GpCamera cam;
    CameraWidget* config = nullptr;
    ASSERT_EQ(gp_camera_get_config(cam.Get(), &config, cam.Context()), GP_OK);
    gp_widget_free(config);
    CameraAbilities abilities;
    ASSERT_EQ(gp_camera_get_abilities(cam.Get(), &abilities), GP_OK);
    EXPECT_STREQ(abilities.model, "Sony ILME-FX3A (PC Control)");
}

TEST(SimDetect, UnplugFailsTheOpenCameraAndReplugNeedsANewOpen) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);
    GpCamera cam;
    EXPECT_EQ(cam.Value("iso"), "AUTO");
    ASSERT_EQ(sim.SetValue("iso", "400"), GP_OK);

    ASSERT_EQ(sim.Unplug(), GP_OK);
    GpWidget w;
    EXPECT_EQ(cam.Get("iso", &w), GP_ERROR_IO);
    EXPECT_EQ(cam.SetText("iso", "800"), GP_ERROR_IO);
    EXPECT_EQ(cam.Wait(10).rc, GP_ERROR_IO);
    CameraWidget* config = nullptr;
    EXPECT_EQ(gp_camera_get_config(cam.Get(), &config, cam.Context()), GP_ERROR_IO);
    EXPECT_THAT(Autodetect(), IsEmpty());
    GpCamera unpluggedOpen;
    EXPECT_LT(gp_camera_get_config(unpluggedOpen.Get(), &config, unpluggedOpen.Context()), GP_OK);

    ASSERT_EQ(sim.Replug(), GP_OK);
    EXPECT_EQ(cam.Get("iso", &w), GP_ERROR_IO);  // the old connection stays dead
    GpCamera fresh;
    EXPECT_EQ(fresh.Value("iso"), "400");  // same camera, same state
    EXPECT_EQ(sim.Model(), "Sony Alpha-A7 III (PC Control)");
}

}  // namespace
