// The bodies at the USB wire, driven by libgphoto2's own ptp2 driver as Debian ships it: what
// the driver's detection names each body, a setting set and read back through the driver's
// widgets, what the body received, and a change made on the body reported by the driver's
// event wait. Then the faults of the wire on one body of each family.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "CamSim.h"
#include "GpCamera.h"
#include "TempDir.h"

namespace {

using Strings = std::vector<std::string>;

// Debian's driver stays loaded for the whole run: libgphoto2 unloads it after each use, and a leak
// of its own must still name it when the sanitizer reports at exit.
const bool kDriverKept = dlopen(DEBIAN_PTP2_DIR "/ptp2.so", RTLD_NOW | RTLD_NODELETE) != nullptr;

// A private state directory with the body plugged, this process's libgphoto2 on the PTP port
// library and Debian's ptp2 driver (only it, which keeps detection fast).
class PtpBody {
  public:
    explicit PtpBody(const std::string& profile) : m_sim(m_dir.Path()) {
        EXPECT_TRUE(kDriverKept) << dlerror();
        camsim::UsePtpDrivers(DEBIAN_PTP2_DIR, m_dir.Path());
        m_plugged = m_sim.Plug(profile);
    }
    int Plugged() const { return m_plugged; }
    camsim::Simulator& Sim() { return m_sim; }
    bool Received(const std::string& prefix) {
        Strings r = m_sim.Received();
        return std::any_of(r.begin(), r.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

  private:
    TempDir m_dir{"ptp-test"};
    camsim::Simulator m_sim;
    int m_plugged = -1;
};

// Reads until the widget shows the value (a driver may take a few polls to see a step land).
bool Shows(GpCamera& cam, const std::string& name, const std::string& value) {
    for (int i = 0; i < 50; ++i) {
        if (cam.Value(name) == value)
            return true;
        cam.Wait(100);
    }
    return false;
}

struct BodyRow {
    const char* profile;
    const char* detected;  // the model the driver's detection names
    const char* setting;   // set through the driver and read back
    const char* value;
    const char* sent;  // what the body received for it (prefix)
    const char* dial;  // changed on the body, seen through the driver's event wait
    const char* dialTo;
};

class PtpBodyTest : public ::testing::TestWithParam<BodyRow> {};

TEST_P(PtpBodyTest, IsDetectedSetAndReportsAChangeThroughTheStockDriver) {
    const BodyRow& row = GetParam();
    PtpBody body(row.profile);
    ASSERT_EQ(body.Plugged(), 0) << body.Sim().LastError();
    EXPECT_EQ(Autodetect(), std::string(row.detected) + "|usb:999,001 ");

    GpCamera cam;
    ASSERT_EQ(gp_camera_init(cam.Get(), cam.Context()), GP_OK);
    ASSERT_NE(cam.Value(row.setting), row.value) << "a set that changes something";
    ASSERT_EQ(cam.Set(row.setting, std::string(row.value)), GP_OK);
    EXPECT_TRUE(Shows(cam, row.setting, row.value)) << row.setting << " shows " << cam.Value(row.setting);
    EXPECT_TRUE(body.Received(row.sent)) << testing::PrintToString(body.Sim().Received());

    ASSERT_NE(cam.Value(row.dial), row.dialTo);
    ASSERT_EQ(body.Sim().ChangeOnCamera(row.dial, row.dialTo), 0) << body.Sim().LastError();
    std::string events;
    for (int i = 0; i < 30 && events.find("unknown") == std::string::npos; ++i)
        events += cam.Events(100) + "; ";
    EXPECT_NE(events.find("unknown"), std::string::npos) << "the driver reports the change: " << events;
    EXPECT_TRUE(Shows(cam, row.dial, row.dialTo)) << row.dial << " shows " << cam.Value(row.dial);
}

// clang-format off
const BodyRow kBodies[] = {
    // profile      detected by Debian's ptp2        set            to          received    dial   to
    {"sony-a7m3",  "Sony Alpha-A7 III (PC Control)", "shutterspeed", "1/250", "0xD20D=", "iso", "3200"},
    {"sony-a7m4",  "Sony Alpha-A7 IV (PC Control)",  "f-number",   "f/5.6",    "op 0x9207", "iso", "800"},
    {"sony-a7s3",  "Sony DSC-A7S III (Control)",     "iso",        "3200",     "op 0x9207", "whitebalance", "Daylight"},
    {"sony-zve10", "Sony ZV-E10 (Control)",          "iso",        "3200",     "0xD226=", "f-number", "f/8"},
    {"sony-fx3",   "USB PTP Class Camera",           "iso",        "3200",     "op 0x9207", "iso", "800"},
    {"sony-fx3a",  "USB PTP Class Camera",           "whitebalance", "Daylight", "0x5005=", "iso", "800"},
    {"sony-fx30",  "USB PTP Class Camera",           "shutterspeed", "1/500",  "op 0x9207", "iso", "800"},
    {"sony-zve10m2", "USB PTP Class Camera",         "iso",        "3200",     "0xD226=", "iso", "800"},
    {"canon-r6",   "Canon EOS R6",                  "iso",         "3200",     "0xD103=", "iso", "6400"},
    {"canon-rp",   "Canon EOS RP",                  "shutterspeed", "1/250",   "0xD102=", "iso", "800"},
    {"canon-r6m2", "USB PTP Class Camera",          "whitebalance", "Daylight", "0xD109=", "iso", "12800"},
    {"nikon-z9",   "Nikon Z9",                      "iso",         "800",      "0x500F=", "iso", "3200"},
    {"nikon-z8",   "USB PTP Class Camera",          "f-number",    "f/5.6",    "0x5007=", "whitebalance", "Shade"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Bodies, PtpBodyTest, ::testing::ValuesIn(kBodies), [](const auto& p) {
    std::string n = p.param.profile;
    n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
    return n;
});

// The wire's faults, each on a body whose family meets it its own way.
using Fault = camsim::Simulator::PtpFaultKind;
enum class Then { Reads, SetFailsOnce, OpenFailsOnce, Unplugged, EventLost };
struct FaultRow {
    const char* name;
    const char* profile;
    Fault fault;
    int times;
    Then then;
};
class PtpFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(PtpFaultTest, TheDriverMeetsAFaultyWire) {
    const FaultRow& row = GetParam();
    PtpBody body(row.profile);
    ASSERT_EQ(body.Plugged(), 0) << body.Sim().LastError();
    auto cam = std::make_unique<GpCamera>();
    std::string iso;
    if (row.then != Then::OpenFailsOnce) {
        ASSERT_EQ(gp_camera_init(cam->Get(), cam->Context()), GP_OK);
        iso = cam->Value("iso");
        ASSERT_FALSE(iso.empty());
    }
    ASSERT_EQ(body.Sim().PtpFault(row.fault, row.times), 0) << body.Sim().LastError();
    switch (row.then) {
        case Then::Reads:  // the driver waits the body out, or clears the halt and reads again
            ASSERT_NE(iso, "800");
            EXPECT_EQ(cam->Set("iso", std::string("800")), GP_OK);
            EXPECT_TRUE(Shows(*cam, "iso", "800"));
            EXPECT_EQ(body.Sim().PtpFaultsLeft(row.fault), 0) << "the wire met the fault";
            break;
        case Then::SetFailsOnce:  // a set the body is too busy for fails; the next one lands
            ASSERT_NE(iso, "800");
            EXPECT_LT(cam->Set("iso", std::string("800")), GP_OK);
            EXPECT_EQ(cam->Set("iso", std::string("800")), GP_OK);
            EXPECT_TRUE(Shows(*cam, "iso", "800"));
            break;
        case Then::OpenFailsOnce:  // a body busy at connect fails the connection, not the next one
            EXPECT_LT(gp_camera_init(cam->Get(), cam->Context()), GP_OK);
            cam = std::make_unique<GpCamera>();
            EXPECT_EQ(gp_camera_init(cam->Get(), cam->Context()), GP_OK);
            EXPECT_FALSE(cam->Value("iso").empty());
            break;
        case Then::Unplugged: {  // a pulled cable fails the call under way; a new open works after a replug
            ASSERT_EQ(body.Sim().Unplug(), 0);
            GpWidget w;
            EXPECT_LT(cam->Get("iso", &w), GP_OK);
            ASSERT_EQ(body.Sim().Replug(), 0);
            cam = std::make_unique<GpCamera>();
            EXPECT_EQ(gp_camera_init(cam->Get(), cam->Context()), GP_OK);
            EXPECT_EQ(cam->Value("iso"), iso);
            break;
        }
        case Then::EventLost: {  // the first change goes unreported, the next one is
            ASSERT_EQ(body.Sim().ChangeOnCamera("iso", "800"), 0) << body.Sim().LastError();
            EXPECT_EQ(cam->Events(1000).find("unknown"), std::string::npos);
            ASSERT_EQ(body.Sim().ChangeOnCamera("iso", "1600"), 0);
            std::string events;
            for (int i = 0; i < 20 && events.find("unknown") == std::string::npos; ++i)
                events += cam->Events(100);
            EXPECT_NE(events.find("unknown"), std::string::npos) << events;
            break;
        }
    }
}

const FaultRow kFaults[] = {
    {"NikonTooBusyForASet", "nikon-z9", Fault::Busy, 1, Then::SetFailsOnce},
    {"SonyBusyAtConnect", "sony-a7m3", Fault::Busy, 1, Then::OpenFailsOnce},
    {"CanonStalledTransfer", "canon-r6", Fault::Stall, 1, Then::Reads},
    {"SonyStalledTransfer", "sony-a7m3", Fault::Stall, 1, Then::Reads},
    {"CanonPulledCable", "canon-r6", Fault::Busy, 0, Then::Unplugged},
    {"SonyLostEvent", "sony-a7m3", Fault::LoseEvent, 1, Then::EventLost},
    {"NikonLostEvent", "nikon-z9", Fault::LoseEvent, 1, Then::EventLost},
};
INSTANTIATE_TEST_SUITE_P(Faults, PtpFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
