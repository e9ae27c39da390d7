// Detection as the plug-in runs it: libgphoto2's own detection through the simulated USB
// port, run again only after something it reads has changed. The cases run with a private
// /dev/bus/usb (with-private-usb-devfs), where the simulated camera's node comes and goes.
#include "CameraDetector.h"

#include <gmock/gmock.h>
#include <gphoto2/gphoto2.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CamSim.h"
#include "ScopedEnv.h"
#include "SimTestDir.h"
#include "TempDir.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using Strings = std::vector<std::string>;

const char kUsbDevfs[] = "/dev/bus/usb";
const std::string kCamera = "Sony Alpha-A7 III (PC Control)|usb:999,001";

// "model|port" of every camera found.
Strings Found(CameraDetector& detector, int* rc = nullptr) {
    Strings out;
    CameraList* list = nullptr;
    if (gp_list_new(&list) != GP_OK)
        return out;
    int result = detector.Detect(list, nullptr);
    if (rc != nullptr)
        *rc = result;
    for (int i = 0; i < gp_list_count(list); ++i) {
        const char* name = nullptr;
        const char* value = nullptr;
        gp_list_get_name(list, i, &name);
        gp_list_get_value(list, i, &value);
        out.push_back(std::string(name) + "|" + value);
    }
    gp_list_unref(list);
    return out;
}

// Zero or the errno of a failed system call, for EXPECT_EQ with a readable message.
int Sys(int result) {
    return result == 0 ? 0 : errno;
}

int Touch(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    return fd < 0 ? errno : Sys(::close(fd));
}

class CameraDetectorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* devfs = std::getenv("CAMSIM_USB_DEVFS");
        if (devfs == nullptr || std::string(devfs) != kUsbDevfs) {
            const char* why = std::getenv("CAMCTRL_NO_PRIVATE_USB_DEVFS");
            GTEST_SKIP() << "needs a private " << kUsbDevfs << ": "
                         << (why != nullptr ? why : "run under with-private-usb-devfs");
        }
        // A node left by an earlier case would hide this case's plug.
        ::unlink("/dev/bus/usb/999/001");
    }

    // The bus scans one detection makes, and what it finds.
    struct Pass {
        int64_t scans;
        Strings found;
    };
    Pass DetectOnce() {
        int64_t before = sim.BusScans();
        Strings found = Found(detector);
        return {sim.BusScans() - before, found};
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
    CameraDetector detector;
};

TEST_F(CameraDetectorTest, DetectsAgainOnlyAfterSomethingItReadsHasChanged) {
    TempDir mountPoint("detect-mount");
    const std::string bus = std::string(kUsbDevfs) + "/005";
    struct Step {
        const char* what;
        std::function<int()> act;
        Strings found;
        int64_t scans;
    };
    auto none = [] { return 0; };
    const Strings camera = {kCamera};
    const Step steps[] = {
        {"first detection", none, {}, 1},
        {"nothing changed", none, {}, 0},
        {"nothing changed again", none, {}, 0},
        {"camera plugged", [&] { return sim.Plug("sony-a7m3"); }, camera, 1},
        {"nothing changed while plugged", none, camera, 0},
        {"camera unplugged", [&] { return sim.Unplug(); }, {}, 1},
        {"camera plugged back", [&] { return sim.Replug(); }, camera, 1},
        {"a new USB bus", [&] { return Sys(::mkdir(bus.c_str(), 0755)); }, camera, 1},
        {"a device on it", [&] { return Touch(bus + "/002"); }, camera, 1},
        {"its node's mode changed", [&] { return Sys(::chmod((bus + "/002").c_str(), 0600)); }, camera, 1},
        {"the device left", [&] { return Sys(::unlink((bus + "/002").c_str())); }, camera, 1},
        {"the bus left", [&] { return Sys(::rmdir(bus.c_str())); }, camera, 1},
        {"a node directly in /dev", [] { return Touch("/dev/sg9"); }, camera, 1},
        {"that node removed", [] { return Sys(::unlink("/dev/sg9")); }, camera, 1},
        {"a file system mounted",
         [&] { return Sys(::mount("camctrl-test", mountPoint.Path().c_str(), "tmpfs", 0, "mode=0755")); },
         camera, 1},
        {"a DCIM folder on the mount point",
         [&] { return Sys(::mkdir(mountPoint.File("DCIM").c_str(), 0755)); }, camera, 1},
        {"another folder there", [&] { return Sys(::mkdir(mountPoint.File("other").c_str(), 0755)); }, camera,
         0},
        {"a file below DCIM", [&] { return Touch(mountPoint.File("DCIM/IMG_0001.JPG")); }, camera, 0},
        {"unmounted", [&] { return Sys(::umount2(mountPoint.Path().c_str(), MNT_DETACH)); }, camera, 1},
        {"nothing changed at the end", none, camera, 0},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(step.act(), 0) << step.what << " " << sim.LastError();
        Pass pass = DetectOnce();
        EXPECT_EQ(pass.found, step.found) << step.what;
        EXPECT_EQ(pass.scans, step.scans) << step.what;
    }
}

// Where no signal would tell that a port's device came or went, every call detects.
TEST_F(CameraDetectorTest, WithoutASignalForEveryPortEachCallDetects) {
    const std::string away = std::string(kUsbDevfs) + ".away";
    struct Case {
        const char* what;
        std::function<int()> setUp;
        std::function<int()> tearDown;
        bool plug;  // the camera can still come and go
    };
    std::unique_ptr<ScopedEnv> env;
    const Case cases[] = {
        {"a listed USB port without its node",
         [&] {
             env.reset(new ScopedEnv("CAMSIM_USB_DEVFS", nullptr));  // the port is listed, no node is made
             return 0;
         },
         [&] {
             env.reset();
             return 0;
         },
         true},
        {"no /dev/bus/usb", [&] { return Sys(::rename(kUsbDevfs, away.c_str())); },
         [&] { return Sys(::rename(away.c_str(), kUsbDevfs)); }, false},
    };
    for (const Case& c : cases) {
        CameraDetector fresh;
        ASSERT_EQ(c.setUp(), 0) << c.what;
        for (int i = 0; i < 3; ++i) {
            int64_t before = sim.BusScans();
            EXPECT_THAT(Found(fresh), IsEmpty()) << c.what;
            EXPECT_EQ(sim.BusScans() - before, 1) << c.what << ", call " << i;
        }
        if (c.plug) {
            ASSERT_EQ(sim.Plug("sony-a7m3"), 0) << sim.LastError();
            EXPECT_THAT(Found(fresh), ElementsAre(kCamera)) << c.what;
            ASSERT_EQ(sim.Unplug(), 0);
            EXPECT_THAT(Found(fresh), IsEmpty()) << c.what;
        }
        ASSERT_EQ(c.tearDown(), 0) << c.what;
        // Once every port is covered again the watch takes over.
        Found(fresh);
        int64_t before = sim.BusScans();
        EXPECT_THAT(Found(fresh), IsEmpty()) << c.what;
        EXPECT_EQ(sim.BusScans() - before, 0) << c.what << ", after";
    }
}

// gp_camera_init detects by itself when the camera was not named before the first access.
TEST_F(CameraDetectorTest, SelectFirstNamesTheDetectedCameraSoOpeningItScansNoMore) {
    GPContext* context = gp_context_new();
    {
        Camera* camera = nullptr;
        ASSERT_EQ(gp_camera_new(&camera), GP_OK);
        EXPECT_THAT(Found(detector), IsEmpty());
        EXPECT_FALSE(detector.SelectFirst(camera)) << "nothing detected";
        gp_camera_free(camera);
    }
    ASSERT_EQ(sim.Plug("sony-a7m3"), 0);
    ASSERT_THAT(Found(detector), ElementsAre(kCamera));
    for (bool select : {true, false}) {
        Camera* camera = nullptr;
        ASSERT_EQ(gp_camera_new(&camera), GP_OK);
        if (select) {
            EXPECT_TRUE(detector.SelectFirst(camera));
        }
        int64_t before = sim.BusScans();
        CameraWidget* config = nullptr;
        EXPECT_EQ(gp_camera_get_config(camera, &config, context), GP_OK) << "select " << select;
        EXPECT_EQ(sim.BusScans() - before, select ? 0 : 1) << "select " << select;
        CameraAbilities abilities;
        ASSERT_EQ(gp_camera_get_abilities(camera, &abilities), GP_OK);
        EXPECT_STREQ(abilities.model, "Sony Alpha-A7 III (PC Control)");
        if (config != nullptr)
            gp_widget_free(config);
        gp_camera_exit(camera, context);
        gp_camera_free(camera);
    }
    gp_context_unref(context);
}

#ifdef CAMCTRL_SYSTEM_IOLIBS
// Mass-storage cameras come from libgphoto2's disk port driver: a mount point with a DCIM
// folder. Its driver sits next to the simulator's USB port driver here.
TEST_F(CameraDetectorTest, AMountPointWithADcimFolderIsFoundAsAMassStorageCamera) {
    TempDir iolibs("detect-iolibs");
    const char* simIolibs = std::getenv("IOLIBS");
    ASSERT_NE(simIolibs, nullptr);
    ASSERT_EQ(Sys(::symlink((std::string(simIolibs) + "/camsim-usb.so").c_str(),
                            iolibs.File("camsim-usb.so").c_str())),
              0);
    ASSERT_EQ(Sys(::symlink(CAMCTRL_SYSTEM_IOLIBS "/disk.so", iolibs.File("disk.so").c_str())), 0);
    ScopedEnv env("IOLIBS", iolibs.Path().c_str());
    TempDir mountPoint("detect-disk");
    const std::string camera = "Mass Storage Camera|disk:" + mountPoint.Path();
    CameraDetector fresh;

    ASSERT_EQ(Sys(::mount("camctrl-test", mountPoint.Path().c_str(), "tmpfs", 0, "mode=0755")), 0);
    EXPECT_THAT(Found(fresh), Not(Contains(camera)));
    ASSERT_EQ(Sys(::mkdir(mountPoint.File("DCIM").c_str(), 0755)), 0);
    EXPECT_THAT(Found(fresh), Contains(camera));
    EXPECT_THAT(Found(fresh), Contains(camera)) << "kept while nothing changes";
    ASSERT_EQ(Sys(::rmdir(mountPoint.File("DCIM").c_str())), 0);
    EXPECT_THAT(Found(fresh), Not(Contains(camera)));
    ASSERT_EQ(Sys(::mkdir(mountPoint.File("dcim").c_str(), 0755)), 0);
    EXPECT_THAT(Found(fresh), Contains(camera)) << "the driver takes the lower-case folder too";
    ASSERT_EQ(Sys(::umount2(mountPoint.Path().c_str(), MNT_DETACH)), 0);
    EXPECT_THAT(Found(fresh), Not(Contains(camera)));
}
#endif

}  // namespace
