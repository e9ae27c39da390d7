// The plug-in's own objects called directly, with a private /dev/bus/usb where the camera's node
// comes and goes: the detection, and the plug-in object before Init.
#include "CameraDetector.h"
#include "PluginCameraCtrlV2.h"

#include <gphoto2/gphoto2.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CamSim.h"
#include "ScopedEnv.h"
#include "SimTestDir.h"
#include "TempDir.h"

namespace {

using Strings = std::vector<std::string>;

const char kUsbDevfs[] = "/dev/bus/usb";
const std::string kCamera = "Sony Alpha-A7 III (PC Control)|usb:999,001";

// Zero or the errno of a failed system call, for EXPECT_EQ with a readable message.
int Sys(int result) {
    return result == 0 ? 0 : errno;
}
int Touch(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    return fd < 0 ? errno : Sys(::close(fd));
}

// libgphoto2's own detection through the simulated USB port (and, natively, libgphoto2's disk
// port driver), run again only after something it reads has changed.
TEST(CameraDetectorTest, DetectsAgainOnlyAfterSomethingItReadsHasChanged) {
    const char* devfs = std::getenv("CAMSIM_USB_DEVFS");
    if (devfs == nullptr || std::string(devfs) != kUsbDevfs) {
        const char* why = std::getenv("CAMCTRL_NO_PRIVATE_USB_DEVFS");
        GTEST_SKIP() << "needs a private " << kUsbDevfs << ": "
                     << (why != nullptr ? why : "run under with-private-usb-devfs");
    }
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    CameraDetector detector;
    // "model|port" of every camera found, sorted, and the bus scans the detection made.
    auto detect = [&] {
        int64_t before = sim.BusScans();
        CameraList* list = nullptr;
        gp_list_new(&list);
        detector.Detect(list, nullptr);
        Strings found;
        for (int i = 0; i < gp_list_count(list); ++i) {
            const char* name = nullptr;
            const char* value = nullptr;
            gp_list_get_name(list, i, &name);
            gp_list_get_value(list, i, &value);
            found.push_back(std::string(name) + "|" + value);
        }
        gp_list_unref(list);
        std::sort(found.begin(), found.end());
        return std::make_pair(found, sim.BusScans() - before);
    };
    TempDir mountPoint("detect-mount");
    std::optional<TempDir> iolibs;
    std::optional<ScopedEnv> iolibsEnv, env;
    Strings mass;  // a mount point with a DCIM (or dcim) folder is a mass-storage camera
#ifdef CAMCTRL_SYSTEM_IOLIBS
    // libgphoto2's disk port driver next to the simulator's USB port driver.
    iolibs.emplace("detect-iolibs");
    ASSERT_NE(std::getenv("IOLIBS"), nullptr);
    for (const std::string& driver : {std::string(std::getenv("IOLIBS")) + "/camsim-usb.so",
                                      std::string(CAMCTRL_SYSTEM_IOLIBS "/disk.so")})
        ASSERT_EQ(Sys(::symlink(driver.c_str(), iolibs->File(driver.substr(driver.rfind('/') + 1)).c_str())),
                  0);
    iolibsEnv.emplace("IOLIBS", iolibs->Path().c_str());
    mass = {"Mass Storage Camera|disk:" + mountPoint.Path()};
#endif
    const std::string bus = std::string(kUsbDevfs) + "/005";
    const std::string away = std::string(kUsbDevfs) + ".away";
    auto none = [] { return 0; };
    const Strings camera = {kCamera};
    Strings both = mass;
    both.push_back(kCamera);
    auto at = [&](const char* name) { return mountPoint.File(name); };
    const struct {
        const char* what;
        std::function<int()> act;
        Strings found;
        int64_t scans;
    } steps[] = {
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
        {"a DCIM folder on it", [&] { return Sys(::mkdir(at("DCIM").c_str(), 0755)); }, both, 1},
        {"another folder there", [&] { return Sys(::mkdir(at("other").c_str(), 0755)); }, both, 0},
        {"a file below DCIM", [&] { return Touch(at("DCIM/IMG_0001.JPG")); }, both, 0},
        {"that file removed", [&] { return Sys(::unlink(at("DCIM/IMG_0001.JPG").c_str())); }, both, 0},
        {"DCIM removed", [&] { return Sys(::rmdir(at("DCIM").c_str())); }, camera, 1},
        {"a dcim folder", [&] { return Sys(::mkdir(at("dcim").c_str(), 0755)); }, both, 1},
        {"unmounted", [&] { return Sys(::umount2(mountPoint.Path().c_str(), MNT_DETACH)); }, camera, 1},
        {"nothing changed at the end", none, camera, 0},
        // Where no signal would tell that a port's device came or went, every call detects.
        {"camera unplugged again", [&] { return sim.Unplug(); }, {}, 1},
        {"no /dev/bus/usb", [&] { return Sys(::rename(kUsbDevfs, away.c_str())); }, {}, 1},
        {"no /dev/bus/usb, again", none, {}, 1},
        {"/dev/bus/usb back", [&] { return Sys(::rename(away.c_str(), kUsbDevfs)); }, {}, 1},
        {"watched again; no node made", [&] { return env.emplace("CAMSIM_USB_DEVFS", nullptr), 0; }, {}, 0},
        {"a node in /dev; a port without its node", [] { return Touch("/dev/sg8"); }, {}, 1},
        {"that port again", none, {}, 1},
        {"camera plugged without a node", [&] { return sim.Plug("sony-a7m3"); }, camera, 1},
        {"camera unplugged without a node", [&] { return sim.Unplug(); }, {}, 1},
        {"that port once more", none, {}, 1},
    };
    for (const auto& step : steps) {
        ASSERT_EQ(step.act(), 0) << step.what << " " << sim.LastError();
        EXPECT_EQ(detect(), std::make_pair(step.found, step.scans)) << step.what;
    }
}

// Before Init, with a camera on the bus: UnInit answers, and neither it nor the destructor
// touches the camera.
TEST(PluginBeforeInitTest, UnInitAndDestructionTouchNothing) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    ASSERT_EQ(sim.Plug("Sony Alpha-A7 III (PC Control)"), 0) << sim.LastError();
    {
        PluginCameraCtrlV2 plugin("PluginCameraCtrl");
        EXPECT_EQ(plugin.UnInit(), 0);
    }
    EXPECT_TRUE(sim.Received().empty());
}

}  // namespace
