// Camera events through gp_camera_wait_for_event: the reactions declared by the profiles,
// queued events with their payloads, settle delay, stubborn widgets and blocking waits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CamSim.h"
#include "GpCamera.h"
#include "SimTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class SimEvents : public ::testing::Test {
  protected:
    void Plug(const std::string& model) { ASSERT_EQ(sim.Plug(model), GP_OK) << sim.LastError(); }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

struct SetReaction {
    const char* profile;
    const char* preset;  // "widget=value" set on the camera side first, or ""
    const char* widget;
    const char* value;
    int type;
    int32_t first;   // int32 at offset 0 (at 20 for type 10, uint16 for type 17)
    int32_t second;  // second int32 for type 16
};

const SetReaction kReactions[] = {
    {"sony-a7m3", "", "iso", "800", 13, 800, 0},
    {"sony-a7m3", "", "f-number", "f/2.8", 11, 280, 0},
    {"sony-a7m3", "", "movie", "1", 10, 1, 0},  // through the recording state d21d
    {"sony-fx30", "", "f-number", "f/11", 11, 1100, 0},
    {"nikon-z8", "", "shutterspeed2", "1/125", 16, 1, 125},
    {"nikon-z8", "", "shutterspeed2", "2.5", 16, 25, 10},
    {"nikon-z8", "", "shutterspeed2", "30", 16, 30, 1},
    {"canon-rp", "", "iso", "6400", 13, 6400, 0},
    {"nikon-z8", "", "shutterspeed2", "Bulb", 16, 65535, 65535},
    {"nikon-z8", "", "shutterspeed2", "1/1.3", 16, 10, 13},
    {"nikon-z8", "", "whitebalance", "Cloudy", 12, 0x8010, 0},
    {"nikon-z8", "", "whitebalance", "Natural light auto", 12, 0x8016, 0},
    {"nikon-z9", "", "focusmode", "AF-C", 15, 0x8011, 0},
    {"nikon-z9", "", "focusmode", "Manual", 15, 1, 0},
    {"nikon-z9", "", "expprogram", "S", 17, 4, 0},
    {"nikon-z9", "", "kd_nikon_photo_iso", "3200", 13, 3200, 0},
    {"nikon-z9", "", "f-number", "f/5.6", 11, 560, 0},
    {"nikon-z8", "mrb-LiveViewSelector=1", "movie", "1", 10, 1, 0},
    {"nikon-z8", "mrb-LiveViewSelector=1", "kd_nikon_movie_iso", "3200", 13, 3200, 0},
    {"nikon-z8", "mrb-LiveViewSelector=1", "kd_nikon_movie_f_numer", "f/5.6", 11, 560, 0},
};

TEST_F(SimEvents, SetsRaiseTheDeclaredDriverEventsWithTheirPayloads) {
    for (const SetReaction& r : kReactions) {
        Plug(r.profile);
        const std::string preset = r.preset;
        if (!preset.empty()) {
            const size_t eq = preset.find('=');
            ASSERT_EQ(sim.SetValue(preset.substr(0, eq), preset.substr(eq + 1)), GP_OK);
        }
        GpCamera cam;
        const bool toggle = std::string(r.widget) == "movie" && !preset.empty();
        ASSERT_EQ(toggle ? cam.SetInt(r.widget, 1) : cam.SetText(r.widget, r.value), GP_OK)
            << r.profile << " " << r.widget;
        GpEvent e = cam.Wait(1000);
        ASSERT_EQ(e.rc, GP_OK);
        EXPECT_EQ(e.type, r.type) << r.profile << " " << r.widget << "=" << r.value;
        ASSERT_TRUE(e.hasData);
        if (r.type == 10) {
            EXPECT_EQ(e.Int32(20), r.first);
        } else if (r.type == 17) {
            EXPECT_EQ(e.Uint16(), r.first);
        } else {
            EXPECT_EQ(e.Int32(0), r.first) << r.profile << " " << r.widget << "=" << r.value;
        }
        if (r.type == 16) {
            EXPECT_EQ(e.Int32(4), r.second);
        }
        EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT) << "each change is reported once";
    }
}

TEST_F(SimEvents, CanonRecordsOnlyInMovieModeAndReportsTheStateWithEvent10) {
    for (const char* model : {"Canon EOS R6", "Canon EOS R6m2", "Canon EOS RP"}) {
        Plug(model);
        GpCamera cam;
        EXPECT_EQ(cam.SetText("movierecordtarget", "Card"), GP_ERROR_CAMERA_BUSY) << model << ": stills mode";
        EXPECT_EQ(sim.Value("movierecordtarget"), "None");
        EXPECT_EQ(cam.Wait(30).type, GP_EVENT_TIMEOUT) << model;
        EXPECT_EQ(cam.SetText("eosmovieswitch", "1"), GP_ERROR_NOT_SUPPORTED) << "turned on the camera only";

        ASSERT_EQ(sim.ChangeOnCamera("eosmovieswitch", "1"), GP_OK);
        GpEvent movie = cam.Wait(1000);
        EXPECT_EQ(movie.type, GP_EVENT_UNKNOWN);
        EXPECT_EQ(movie.Text(), "PTP Property d1c2 changed");
        EXPECT_EQ(cam.Value("eosmovieswitch"), "1");

        for (int32_t state : {1, 0}) {
            ASSERT_EQ(cam.SetText("movierecordtarget", state ? "Card" : "None"), GP_OK) << model;
            GpEvent e = cam.Wait(1000);
            EXPECT_EQ(e.type, 10) << model;
            EXPECT_EQ(e.Int32(20), state) << model;
        }
        EXPECT_THAT(sim.Received(),
                    ::testing::ElementsAre("movierecordtarget=Card", "eosmovieswitch=1",
                                           "movierecordtarget=Card", "movierecordtarget=None"));
    }
}

TEST_F(SimEvents, ChangesWithoutADriverEventAreReportedAsStandardPropertyEvents) {
    Plug("Canon EOS R6");
    {
        GpCamera canon;
        ASSERT_EQ(canon.SetText("shutterspeed", "1/250"), GP_OK);
        GpEvent e = canon.Wait(1000);
        EXPECT_EQ(e.type, GP_EVENT_UNKNOWN);
        EXPECT_EQ(e.Text(), "PTP Property d102 changed");
    }
    Plug("Sony Alpha-A7 III (PC Control)");
    GpCamera cam;
    ASSERT_EQ(cam.SetText("whitebalance", "Flash"), GP_OK);
    GpEvent wb = cam.Wait(1000);
    EXPECT_EQ(wb.type, GP_EVENT_UNKNOWN);
    EXPECT_EQ(wb.Text(), "PTP Property 5005 changed");
    ASSERT_EQ(cam.SetText("iso", "800"), GP_OK);
    ASSERT_EQ(cam.Wait(1000).type, 13);
    ASSERT_EQ(cam.SetText("iso", "AUTO"), GP_OK);  // no number to report: the standard event
    GpEvent iso = cam.Wait(1000);
    EXPECT_EQ(iso.type, GP_EVENT_UNKNOWN);
    EXPECT_EQ(iso.Text(), "PTP Property d21e changed");
    ASSERT_EQ(cam.SetText("iso", "AUTO"), GP_OK);               // unchanged: nothing to report
    ASSERT_EQ(cam.SetText("kd_touch_focus", "(1, 2)"), GP_OK);  // declared silent
    EXPECT_EQ(cam.Wait(50).type, GP_EVENT_TIMEOUT);
}

TEST_F(SimEvents, QueuedEventsArriveInOrderOnceWithDataOwnedByTheReceiver) {
    Plug("Nikon Z9");
    ASSERT_EQ(sim.QueueRecordEvent(1), GP_OK);
    ASSERT_EQ(sim.QueueInt32Event(11, 280), GP_OK);
    ASSERT_EQ(sim.QueueInt32Event(12, 0x8012), GP_OK);
    ASSERT_EQ(sim.QueueInt32Event(13, 6400), GP_OK);
    ASSERT_EQ(sim.QueueInt32Event(15, 0x8013), GP_OK);
    ASSERT_EQ(sim.QueueShutterEvent(1, 250), GP_OK);
    ASSERT_EQ(sim.QueueModeEvent(0x8050), GP_OK);
    ASSERT_EQ(sim.QueueTextEvent(GP_EVENT_UNKNOWN, "PTP Property d21d changed"), GP_OK);
    ASSERT_EQ(sim.QueueTextEvent(GP_EVENT_FILE_ADDED, "/store_00010001/DCIM/100NZ_9/DSC_0001.NEF"), GP_OK);
    ASSERT_EQ(sim.QueueEvent(14, {1, 2, 3, 0}), GP_OK);
    EXPECT_EQ(sim.PendingEvents(), 10u);

    struct Arrival {
        int type;
        int32_t first;   // int32 at offset 0 (at 20 for type 10, uint16 for type 17)
        int32_t second;  // int32 at offset 4 for type 16
        const char* text;
    };
    const Arrival arrivals[] = {
        {10, 1, 0, nullptr},      {11, 280, 0, nullptr},
        {12, 0x8012, 0, nullptr}, {13, 6400, 0, nullptr},
        {15, 0x8013, 0, nullptr}, {16, 1, 250, nullptr},
        {17, 0x8050, 0, nullptr}, {GP_EVENT_UNKNOWN, 0, 0, "PTP Property d21d changed"},
    };
    GpCamera cam;
    GpEvent e;
    for (const Arrival& a : arrivals) {
        e = cam.Wait(100);
        EXPECT_EQ(e.type, a.type);
        if (a.text != nullptr) {
            EXPECT_EQ(e.Text(), a.text);
        } else if (a.type == 10) {
            ASSERT_EQ(e.data.size(), 24u);
            EXPECT_EQ(e.Int32(20), a.first);
        } else {
            EXPECT_EQ(a.type == 17 ? e.Uint16() : e.Int32(0), a.first) << a.type;
            EXPECT_EQ(e.Int32(4), a.second) << a.type;
        }
    }
    e = cam.Wait(100);
    EXPECT_EQ(e.type, GP_EVENT_FILE_ADDED);
    CameraFilePath path;
    ASSERT_EQ(e.data.size(), sizeof path);
    std::memcpy(&path, e.data.data(), sizeof path);
    EXPECT_STREQ(path.folder, "/store_00010001/DCIM/100NZ_9");
    EXPECT_STREQ(path.name, "DSC_0001.NEF");
    e = cam.Wait(100);
    EXPECT_EQ(e.type, 14);
    EXPECT_EQ(e.Text(), "\x01\x02\x03");
    EXPECT_EQ(sim.PendingEvents(), 0u);
    e = cam.Wait(0);
    EXPECT_EQ(e.type, GP_EVENT_TIMEOUT);
    EXPECT_FALSE(e.hasData);
}

TEST_F(SimEvents, WaitBlocksUntilItsTimeOutWhenNothingHappens) {
    Plug("Canon EOS RP");
    GpCamera cam;
    auto start = Clock::now();
    GpEvent e = cam.Wait(200);
    EXPECT_GE(MsSince(start), 190);
    EXPECT_EQ(e.rc, GP_OK);
    EXPECT_EQ(e.type, GP_EVENT_TIMEOUT);
    EXPECT_FALSE(e.hasData);
}

TEST_F(SimEvents, WaitWakesWhenAnotherHandleQueuesAnEvent) {
    Plug("Canon EOS R6");
    GpCamera cam;
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        camsim::Simulator(dir.Path()).QueueRecordEvent(1);
    });
    auto start = Clock::now();
    GpEvent e = cam.Wait(10000);
    long waited = MsSince(start);
    other.join();
    EXPECT_EQ(e.type, 10);
    EXPECT_LT(waited, 5000);  // woken by the change, not by the time-out
}

TEST_F(SimEvents, StubbornWidgetAcceptsButKeepsItsValueAndStaysSilent) {
    Plug("Sony Alpha-A7 III (PC Control)");
    ASSERT_EQ(sim.SetStubborn("shutterspeed", true), GP_OK);
    GpCamera cam;
    EXPECT_EQ(cam.SetText("shutterspeed", "1/250"), GP_OK);
    EXPECT_EQ(cam.Value("shutterspeed"), "1/125");
    EXPECT_EQ(cam.Wait(30).type, GP_EVENT_TIMEOUT);
    EXPECT_THAT(sim.Received(), ::testing::ElementsAre("shutterspeed=1/250"));
    ASSERT_EQ(sim.SetStubborn("shutterspeed", false), GP_OK);
    EXPECT_EQ(cam.SetText("shutterspeed", "1/250"), GP_OK);
    EXPECT_EQ(cam.Value("shutterspeed"), "1/250");
}

TEST_F(SimEvents, ChangeOnCameraRaisesTheEventWithoutBeingReceived) {
    Plug("Nikon Z8");
    ASSERT_EQ(sim.ChangeOnCamera("expprogram", "M"), GP_OK);
    GpCamera cam;
    GpEvent e = cam.Wait(100);
    EXPECT_EQ(e.type, 17);
    EXPECT_EQ(e.Uint16(), 1);
    EXPECT_EQ(cam.Value("expprogram"), "M");
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(sim.ChangeOnCamera("nothing", "1"), GP_ERROR_BAD_PARAMETERS);
}

// The Sony exposure program is one camera property seen as two widgets.
TEST_F(SimEvents, ChangeOnCameraMovesLinkedWidgetsWithOneEventPerProperty) {
    struct Change {
        const char* profile;
        const char* widget;
        const char* value;
        const char* linked;
        const char* linkedValue;
    };
    const Change changes[] = {
        {"sony-a7m3", "500e", "491600", "expprogram", "Movie (P)"},
        {"sony-zve10", "expprogram", "M", "500e", "1"},
        {"sony-a7m4", "500e", "622685", "expprogram", "S&Q (Scene)"},
        {"sony-fx3", "500e", "622736", "expprogram", "Unknown value 8090"},
        {"sony-zve10m2", "500e", "360465", "expprogram", "Sports Action"},
        {"sony-a6400", "500e", "622724", "expprogram", "S&Q"},
        {"sony-fx30", "500e", "6", "expprogram", "P"},  // a code the profile does not link: unchecked
    };
    for (const Change& c : changes) {
        Plug(c.profile);
        ASSERT_EQ(sim.ChangeOnCamera(c.widget, c.value), GP_OK) << c.profile;
        GpCamera cam;
        GpEvent e = cam.Wait(1000);
        EXPECT_EQ(e.type, GP_EVENT_UNKNOWN) << c.profile;
        EXPECT_EQ(e.Text(), "PTP Property 500e changed") << c.profile;
        EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT) << c.profile << ": one event for one property";
        EXPECT_EQ(cam.Value(c.widget), c.value) << c.profile;
        EXPECT_EQ(cam.Value(c.linked), c.linkedValue) << c.profile;
        EXPECT_TRUE(sim.Received().empty());
    }
}

TEST_F(SimEvents, LinkedWidgetsOfOtherPropertiesRaiseTheirOwnEvents) {
    Plug("sony-a7s3");
    ASSERT_EQ(sim.ChangeOnCamera("movie", "1"), GP_OK);  // the record button
    GpCamera cam;
    GpEvent e = cam.Wait(1000);
    EXPECT_EQ(e.type, 10);
    EXPECT_EQ(e.Int32(20), 1);
    EXPECT_EQ(cam.Value("d21d"), "1");
    EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT);

    ASSERT_EQ(cam.SetText("expprogram", "A"), GP_OK);
    GpEvent set = cam.Wait(1000);
    EXPECT_EQ(set.type, GP_EVENT_UNKNOWN);
    EXPECT_EQ(set.Text(), "PTP Property 500e changed");
    EXPECT_EQ(cam.Wait(0).type, GP_EVENT_TIMEOUT) << "a set of one view raises one event too";
    EXPECT_EQ(cam.Value("500e"), "131075");
    ASSERT_EQ(cam.SetText("movie", "0"), GP_OK);
    EXPECT_EQ(cam.Value("d21d"), "0") << "a set of the record button moves the recording state too";
}

}  // namespace
