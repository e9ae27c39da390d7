// Detection and opening of the simulated cameras through the system libgphoto2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>

#include "CamSim.h"
#include "GpCamera.h"
#include "ScopedEnv.h"
#include "SimTestDir.h"
#include "TempDir.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kPort[] = "usb:999,001";

// The device paths of this process's port list, generic entries left out.
std::vector<std::string> ListedPorts() {
    std::vector<std::string> out;
    GPPortInfoList* list = nullptr;
    if (gp_port_info_list_new(&list) != GP_OK)
        return out;
    if (gp_port_info_list_load(list) == GP_OK) {
        int n = gp_port_info_list_count(list);
        for (int i = 0; i < n; ++i) {
            GPPortInfo info = nullptr;
            char* path = nullptr;
            if (gp_port_info_list_get_info(list, i, &info) == GP_OK &&
                gp_port_info_get_path(info, &path) == GP_OK)
                out.push_back(path);
        }
    }
    gp_port_info_list_free(list);
    return out;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

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

// With a device directory the simulator behaves as the kernel and libusb do with a real
// camera: the node exists exactly while the camera is plugged, and only then is the port listed.
TEST(SimDetect, TheUsbNodeFollowsThePlugAndThePortIsListedOnlyWithIt) {
    camsim::SimTestDir dir;
    TempDir devfs("usb-devfs");
    ScopedEnv env("CAMSIM_USB_DEVFS", devfs.Path().c_str());
    camsim::Simulator sim(dir.Path());
    const std::string node = devfs.Path() + "/999/001";
    const std::string model = "Sony Alpha-A7 III (PC Control)";
    struct Step {
        const char* what;
        std::function<int()> act;
        bool node;
    };
    const Step steps[] = {
        {"nothing plugged yet", [] { return GP_OK; }, false},
        {"plug", [&] { return sim.Plug("sony-a7m3"); }, true},
        {"unplug", [&] { return sim.Unplug(); }, false},
        {"unplug again", [&] { return sim.Unplug(); }, false},
        {"replug", [&] { return sim.Replug(); }, true},
        {"replug while plugged", [&] { return sim.Replug(); }, true},
        {"plug while plugged", [&] { return sim.Plug("sony-a7m3"); }, true},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(step.act(), GP_OK) << step.what << ": " << sim.LastError();
        EXPECT_EQ(Exists(node), step.node) << step.what;
        std::vector<std::string> ports = ListedPorts();
        EXPECT_EQ(std::count(ports.begin(), ports.end(), kPort), step.node ? 1 : 0) << step.what;
        if (step.node) {
            EXPECT_THAT(Autodetect(), ElementsAre(model + "|" + kPort)) << step.what;
        } else {
            EXPECT_THAT(Autodetect(), IsEmpty()) << step.what;
        }
    }
}

TEST(SimDetect, WithoutADeviceDirectoryThePortIsAlwaysListedAndNoNodeIsMade) {
    camsim::SimTestDir dir;
    ScopedEnv env("CAMSIM_USB_DEVFS", nullptr);
    camsim::Simulator sim(dir.Path());
    EXPECT_THAT(ListedPorts(), ::testing::Contains(kPort));
    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);
    ASSERT_EQ(sim.Unplug(), GP_OK);
    EXPECT_THAT(ListedPorts(), ::testing::Contains(kPort));
}

TEST(SimDetect, PlugReportsADeviceDirectoryThatIsNotThere) {
    camsim::SimTestDir dir;
    TempDir parent("usb-devfs");
    const std::string missing = parent.Path() + "/bus/usb";
    ScopedEnv env("CAMSIM_USB_DEVFS", missing.c_str());
    camsim::Simulator sim(dir.Path());
    EXPECT_EQ(sim.Plug("sony-a7m3"), GP_ERROR_IO);
    EXPECT_THAT(sim.LastError(), ::testing::HasSubstr(missing + "/999"));
    EXPECT_FALSE(Exists(missing)) << "the device directory is the kernel's to make, not the simulator's";
}

// Every listing of the simulated port is one scan of the bus, whoever makes it.
TEST(SimDetect, BusScansCountEveryPortListing) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    EXPECT_EQ(sim.BusScans(), 0);
    ASSERT_EQ(sim.Plug("sony-a7m3"), GP_OK);
    EXPECT_EQ(sim.BusScans(), 0) << "plugging scans nothing";
    ListedPorts();
    ListedPorts();
    EXPECT_EQ(sim.BusScans(), 2);
    Autodetect();
    EXPECT_EQ(sim.BusScans(), 3);
    GpCamera cam;  // opening without a port set detects once more
    EXPECT_EQ(cam.Value("iso"), "AUTO");
    EXPECT_EQ(sim.BusScans(), 4);
}

}  // namespace
