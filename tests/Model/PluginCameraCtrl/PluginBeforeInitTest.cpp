// Every public operation of the plug-in object called before Init, with a camera on the bus:
// an answer instead of a crash, nothing sent to the camera; Init then works as always.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CamSim.h"
#include "CameraParams.h"
#include "PluginCameraCtrlV2.h"
#include "SimTestDir.h"
#include "VirtualEventBus.h"

namespace {

TEST(PluginBeforeInitTest, EveryPublicOperationAnswersWithoutTouchingTheCamera) {
    camsim::SimTestDir dir;
    camsim::Simulator sim(dir.Path());
    ASSERT_EQ(sim.Plug("Sony Alpha-A7 III (PC Control)"), 0) << sim.LastError();
    PluginCameraCtrlV2 plugin("PluginCameraCtrl");
    CameraParams record;
    const struct {
        const char* name;
        std::function<int()> call;
        int expected;
    } cases[] = {
        {"ConnectCamera", [&] { return plugin.ConnectCamera(); }, -1},
        {"GetCameraParams", [&] { return plugin.GetCameraParams(); }, -1},
        {"DoTasksThread", [&] { return plugin.DoTasksThread(); }, -1},
        {"SubscribeEvent", [&] { return plugin.SubscribeEvent(); }, -1},
        {"UnSubscribeEvent", [&] { return plugin.UnSubscribeEvent(); }, 0},
        {"OnSetFocusModeParam", [&] { return plugin.OnSetFocusModeParam("MF"); }, -1},
        {"OnSetIsoParam", [&] { return plugin.OnSetIsoParam("800"); }, -1},
        {"OnSetIrisParam", [&] { return plugin.OnSetIrisParam("f/5.6"); }, -1},
        {"OnSetShutterSpeedParam", [&] { return plugin.OnSetShutterSpeedParam("1/250"); }, -1},
        {"OnSetWhiteBalanceParam", [&] { return plugin.OnSetWhiteBalanceParam("Daylight"); }, -1},
        {"OnEnableRecord", [&] { return plugin.OnEnableRecord(true); }, -1},
        {"OnTouchFocus", [&] { return plugin.OnTouchFocus((960 << 16) | 540); }, -1},
        {"GetFocusModeParam", [&] { return plugin.GetFocusModeParam(); }, -1},
        {"GetIsoParam", [&] { return plugin.GetIsoParam(); }, -1},
        {"GetIrisParam", [&] { return plugin.GetIrisParam(); }, -1},
        {"GetShutterSpeedParam", [&] { return plugin.GetShutterSpeedParam(); }, -1},
        {"GetCurrentMode", [&] { return plugin.GetCurrentMode(); }, -1},
        {"GetCurrentDispMode", [&] { return plugin.GetCurrentDispMode(); }, -1},
        {"GetWhiteBalanceParam", [&] { return plugin.GetWhiteBalanceParam(); }, -1},
        {"GetRecordEnable", [&] { return plugin.GetRecordEnable(nullptr); }, -1},
        {"GetBatteryLevel", [&] { return plugin.GetBatteryLevel(); }, -1},
        {"NotifyParamChange", [&] { return plugin.NotifyParamChange(); }, 0},
        {"NotifyParamChangeV2", [&] { return plugin.NotifyParamChangeV2(&record); }, 0},
        {"NotifyParamChangeV2(null)", [&] { return plugin.NotifyParamChangeV2(nullptr); }, 0},
        {"DisConnectCamera", [&] { return plugin.DisConnectCamera(), 0; }, 0},
        {"UnInit", [&] { return plugin.UnInit(); }, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
    }
    EXPECT_TRUE(sim.Received().empty());

    auto bus = std::make_shared<VirtualEventBus>();
    std::vector<int> states;
    bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                   {[&](void* data, int length) {
                        if (length == kCameraParamsWireSize)
                            states.push_back(static_cast<CameraParams*>(data)->connectState);
                    },
                    &states});
    ASSERT_EQ(plugin.Init(bus, nullptr), 0);
    EXPECT_EQ(states, std::vector<int>{1}) << "Init connects the camera on the host's thread";
    EXPECT_EQ(plugin.UnInit(), 0);
}

}  // namespace
