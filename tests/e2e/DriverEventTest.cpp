// The device's driver (driver/) at the USB wire: a setting changed on the body comes out of
// gp_camera_wait_for_event as the driver's own event type with its data block, and the plug-in's
// decoder with the body's camera class turns that block into the record's text. Settings that a
// family's classes cannot translate from a code stay the driver's standard property event (the
// plug-in then reads everything again).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "CamSim.h"
#include "CameraEventDecoder.h"
#include "CameraFactory.h"
#include "DeviceDriver.h"
#include "GpCamera.h"
#include "TempDir.h"

namespace {

// Kept loaded so that what the driver leaks still names it at exit (see scripts/lsan.supp).
void* const kDriverKept = dlopen((DriverDir() + "/ptp2.so").c_str(), RTLD_NOW | RTLD_NODELETE);

std::string Field(const CameraParams& p, const std::string& name) {
    if (name == "recordEnable")
        return p.recordEnable ? "1" : "0";
    const std::pair<const char*, const std::string CameraParams::*> fields[] = {
        {"iris", &CameraParams::iris},
        {"iso", &CameraParams::iso},
        {"whiteBalance", &CameraParams::whiteBalance},
        {"focusMode", &CameraParams::focusMode},
        {"shutterSpeed", &CameraParams::shutterSpeed},
        {"mode", &CameraParams::mode}};
    for (const auto& f : fields)
        if (name == f.first)
            return p.*f.second;
    return "no field " + name;
}

struct EventRow {
    const char* name;
    const char* profile;
    const char* dial;  // changed on the body: a widget with its text, or a property with its raw value
    const char* to;
    const char* code;   // the property, as the driver's standard report names it
    const char* event;  // the typed event that reports it (GpEvent::Text()); nullptr: the standard report
    const char* field;  // what the plug-in's decoder makes of the typed event
    const char* shows;
};

void PrintTo(const EventRow& r, std::ostream* os) {
    *os << r.name;
}

class DriverEventTest : public ::testing::TestWithParam<EventRow> {};

TEST_P(DriverEventTest, AChangeOnTheBodyArrivesAsTheEventThePluginDecodes) {
    const EventRow& row = GetParam();
    if (!kDriverKept)
        GTEST_SKIP() << "the device's driver is not built (scripts/build-driver.sh): " << DriverDir();
    TempDir dir("driver-event");
    camsim::Simulator sim(dir.Path());
    camsim::UsePtpDrivers(DriverDir(), dir.Path());
    ASSERT_EQ(sim.Plug(row.profile), 0) << sim.LastError();
    GpCamera cam;
    ASSERT_EQ(gp_camera_init(cam.Get(), cam.Context()), GP_OK);
    std::unique_ptr<AbstructCamera> model =
        CameraFactory().CreateCamera(sim.Model().c_str(), cam.Get(), cam.Context());
    ASSERT_NE(model, nullptr) << sim.Model();
    cam.Events(500);  // what the body reports on connecting

    ASSERT_EQ(sim.ChangeOnCamera(row.dial, row.to), 0) << sim.LastError();
    const std::string report = "unknown PTP Property " + std::string(row.code) + " changed";
    const std::string wanted = row.event ? row.event : report;
    std::string seen;
    GpEvent found;
    // Until the wanted event, and a little past it for a standard report following a typed one.
    for (int i = 0, after = 0; i < 60 && after < 3; ++i, after += found.type >= 0) {
        GpEvent e = cam.Wait(100);
        if (e.rc != GP_OK)
            break;
        if (e.type == GP_EVENT_TIMEOUT)
            continue;
        seen += e.Text() + "; ";
        if (found.type < 0 && e.Text().rfind(wanted, 0) == 0)
            found = e;
    }
    ASSERT_GE(found.type, 0) << "expected " << wanted << ", the driver reported: " << seen;
    if (!row.event)
        return;
    // The typed event alone: a standard report as well would cost the plug-in a re-read.
    EXPECT_EQ(seen.find(report), std::string::npos) << seen;
    CameraParams record;
    const auto outcome = CameraEventDecoder::Decode(found.type, found.data.data(), model.get(), record);
    EXPECT_NE(outcome, CameraEventDecoder::Outcome::Nothing);
    EXPECT_EQ(Field(record, row.field), row.shows);
}

// clang-format off
const EventRow kEvents[] = {
    // name                  body          changed on the body   property  typed event   record field    shows
    {"SonyRecording",        "sony-a7m3",  "0xD21D", "1",         "d21d", "10 1",     "recordEnable", "1"},
    {"SonyAperture",         "sony-a7m3",  "f-number", "f/8",     "5007", "11 800",   "iris",         "f/8"},
    {"SonyIso",              "sony-a7m3",  "iso", "3200",         "d21e", "13 3200",  "iso",          "3200"},
    {"SonyIsoOfTheFx3",      "sony-fx3",   "iso", "800",          "d21e", "13 800",   "iso",          "800"},
    {"SonyAutoIso",          "sony-a7m3",  "iso", "Auto ISO Multi Frame Noise Reduction", "d21e", nullptr, "", ""},
    {"SonyWhiteBalance",     "sony-a7m3",  "whitebalance", "Daylight", "5005", nullptr, "", ""},
    {"SonyProgram",          "sony-fx3",   "0x500E", "491603",    "500e", nullptr,    "", ""},
    {"CanonRecording",       "canon-r6",   "0xD1B8", "4",         "d1b8", "10 1",     "recordEnable", "1"},
    {"CanonIso",             "canon-r6",   "iso", "6400",         "d103", "13 6400",  "iso",          "6400"},
    {"CanonAperture",        "canon-r6",   "aperture", "8",       "d101", nullptr,    "", ""},
    {"NikonRecording",       "nikon-z9",   "0xD0A4", "25600",     "d0a4", "10 1",     "recordEnable", "1"},
    {"NikonAperture",        "nikon-z9",   "f-number", "f/8",     "5007", "11 800",   "iris",         "f/8"},
    {"NikonWhiteBalance",    "nikon-z9",   "whitebalance", "Shade", "5005", "12 32785", "whiteBalance", "Shade"},
    {"NikonIso",             "nikon-z9",   "iso", "3200",         "500f", "13 3200",  "iso",          "3200"},
    {"NikonFocusMode",       "nikon-z9",   "focusmode", "AF-C",   "500a", "15 32785", "focusMode",    "AF-C"},
    {"NikonShutterSpeed",    "nikon-z9",   "0xD100", "65636",     "d100", "16 1/100", "shutterSpeed", "1/100"},
    {"NikonProgram",         "nikon-z9",   "expprogram", "A",     "500e", "17 3",     "mode",         "A"},
    {"NikonMovieIsoInPhoto", "nikon-z8",   "0xD1AA", "6400",      "d1aa", nullptr,    "", ""},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Changes, DriverEventTest, ::testing::ValuesIn(kEvents),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
