#include "RecordFormat.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "RemoteListener.h"
#include "VirtualEventBus.h"

namespace {

TEST(RecordFormatJson, CarriesEveryField) {
    CameraParams p;
    p.cameraType = NikonZ9;
    p.connectState = 1;
    p.recordEnable = true;
    p.iso = "800";
    p.supportedIso = {"100", "800"};
    p.whiteBalance = "Daylight";
    p.dispMode = true;
    nlohmann::json j = tools::RecordToJson(p);
    EXPECT_EQ(j["event"], 9000);
    EXPECT_EQ(j["cameraType"], 14);
    EXPECT_EQ(j["cameraName"], "NikonZ9");
    EXPECT_EQ(j["connectState"], 1);
    EXPECT_EQ(j["recordEnable"], true);
    EXPECT_EQ(j["dispMode"], true);
    EXPECT_EQ(j["iso"], "800");
    EXPECT_EQ(j["supportedIso"], (std::vector<std::string>{"100", "800"}));
    EXPECT_EQ(j["whiteBalance"], "Daylight");
    EXPECT_TRUE(j["supportedShutterSpeed"].empty());
}

TEST(RecordFormatJson, InvalidUtf8FromACameraDoesNotBreakTheOutput) {
    CameraParams p;
    p.mode = std::string("M\xff\xfe", 3);
    std::string out = tools::RecordToJson(p).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    EXPECT_NE(out.find("\"mode\""), std::string::npos);
}

TEST(RecordFormatText, NamesTheModelAndState) {
    CameraParams p;
    p.cameraType = SonyA7M3;
    p.connectState = 2;
    p.iris = "f/4";
    p.supportedIris = {"f/2.8", "f/4"};
    std::string text = tools::RecordToText(p);
    EXPECT_NE(text.find("SonyA7M3 (type 1)"), std::string::npos) << text;
    EXPECT_NE(text.find("connection failed (2)"), std::string::npos) << text;
    EXPECT_NE(text.find("f/4  [f/2.8, f/4]"), std::string::npos) << text;
    EXPECT_EQ(tools::CameraTypeName(99), "Unrecognized");
    EXPECT_EQ(tools::CameraTypeName(-1), "Unrecognized");
}

TEST(RecordFormatDatagram, ReadsHeaderAndPlainFields) {
    std::vector<uint8_t> bytes(240, 0);
    int32_t header[2] = {9000, 232};
    std::memcpy(bytes.data(), header, 8);
    int32_t type = 13, state = 1;
    std::memcpy(&bytes[8 + 0], &type, 4);
    bytes[8 + 4] = 1;
    std::memcpy(&bytes[8 + 8], &state, 4);
    bytes[8 + 228] = 1;
    tools::Datagram d = tools::ParseDatagram(bytes.data(), bytes.size());
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.event, 9000);
    EXPECT_EQ(d.length, 232);
    EXPECT_EQ(d.payload.size(), 232u);
    nlohmann::json j = tools::DatagramToJson(d, tools::kDeviceRecordLayout);
    EXPECT_EQ(j["cameraType"], 13);
    EXPECT_EQ(j["recordEnable"], true);
    EXPECT_EQ(j["connectState"], 1);
    EXPECT_EQ(j["dispMode"], true);
    EXPECT_FALSE(j.contains("notShown"));
    EXPECT_EQ(j["bytes"], 240);
    EXPECT_EQ(tools::DatagramToText(d, tools::kDeviceRecordLayout),
              "event 9000, length 232 (240 bytes): camera NikonZ8 (type 13), recording on, connect state 1, "
              "display mode on");
}

TEST(RecordFormatDatagram, DisplayModeIsShownOnlyWhereTheRecordIsLaidOutAsOnTheDevice) {
    struct Case {
        const char* what;
        tools::RecordLayout layout;
        size_t payloadSize;
        uint8_t byte228;
        bool shown;
        const char* text;  // the end of the text line
    };
    const Case cases[] = {
        {"device, on", {232, 228}, 232, 1, true, "connect state 2, display mode on"},
        {"device, off", {232, 228}, 232, 0, true, "connect state 2, display mode off"},
        {"device, longer payload", {232, 228}, 300, 1, true, "connect state 2, display mode on"},
        {"64-bit libstdc++",
         {360, 352},
         232,
         1,
         false,
         "connect state 2; display mode not shown: the record is laid out differently on this machine (360 "
         "bytes, display mode at byte 352) than on the device (232 bytes, display mode at byte 228): byte "
         "228 of the payload is not the display mode"},
        {"right size, other offset",
         {232, 224},
         232,
         1,
         false,
         "connect state 2; display mode not shown: the record is laid out differently on this machine (232 "
         "bytes, display mode at byte 224) than on the device (232 bytes, display mode at byte 228): byte "
         "228 of the payload is not the display mode"},
        {"device, cut payload",
         {232, 228},
         228,
         1,
         false,
         "connect state 2; display mode not shown: the payload of 228 bytes ends before byte 229"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(8 + c.payloadSize, 0);
        int32_t header[2] = {9000, 232};
        std::memcpy(bytes.data(), header, 8);
        bytes[8 + 8] = 2;
        if (c.payloadSize > 228)
            bytes[8 + 228] = c.byte228;
        tools::Datagram d = tools::ParseDatagram(bytes.data(), bytes.size());
        nlohmann::json j = tools::DatagramToJson(d, c.layout);
        EXPECT_EQ(j.contains("dispMode"), c.shown) << c.what;
        if (c.shown) {
            EXPECT_EQ(j["dispMode"], c.byte228 != 0) << c.what;
            EXPECT_FALSE(j.contains("notShown")) << c.what;
        } else {
            std::string text = c.text;
            EXPECT_EQ(j["notShown"]["dispMode"], text.substr(text.find("shown: ") + 7)) << c.what;
        }
        EXPECT_EQ(j["connectState"], 2) << c.what;
        std::string line = tools::DatagramToText(d, c.layout);
        std::string end = c.text;
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), end.size())), end) << c.what;
    }
}

TEST(RecordFormatDatagram, PlainFieldsAreShownOnlyWhenThePayloadHoldsThem) {
    struct Case {
        size_t payloadSize;
        std::vector<std::string> shown;
        std::vector<std::string> notShown;
    };
    const Case cases[] = {
        {0, {}, {"cameraType", "recordEnable", "connectState", "dispMode"}},
        {3, {}, {"cameraType", "recordEnable", "connectState", "dispMode"}},
        {4, {"cameraType"}, {"recordEnable", "connectState", "dispMode"}},
        {5, {"cameraType", "recordEnable"}, {"connectState", "dispMode"}},
        {11, {"cameraType", "recordEnable"}, {"connectState", "dispMode"}},
        {12, {"cameraType", "recordEnable", "connectState"}, {"dispMode"}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(8 + c.payloadSize, 7);
        int32_t header[2] = {9000, 232};
        std::memcpy(bytes.data(), header, 8);
        tools::Datagram d = tools::ParseDatagram(bytes.data(), bytes.size());
        nlohmann::json j = tools::DatagramToJson(d, tools::kDeviceRecordLayout);
        for (const std::string& field : c.shown)
            EXPECT_TRUE(j.contains(field)) << c.payloadSize << " " << field;
        for (const std::string& field : c.notShown) {
            EXPECT_FALSE(j.contains(field)) << c.payloadSize << " " << field;
            EXPECT_TRUE(j["notShown"].contains(field)) << c.payloadSize << " " << field;
        }
    }
    std::vector<uint8_t> five(8 + 5, 0);
    int32_t header[2] = {9000, 232};
    std::memcpy(five.data(), header, 8);
    EXPECT_EQ(
        tools::DatagramToText(tools::ParseDatagram(five.data(), five.size()), tools::kDeviceRecordLayout),
        "event 9000, length 232 (13 bytes): camera Unrecognized (type 0), recording off; connect state not "
        "shown: the payload of 5 bytes ends before byte 12; display mode not shown: the payload of 5 bytes "
        "ends before byte 229");
}

// What camera-host prints from the record in memory and what camera-monitor prints from the
// datagram the bus sends must agree on every field both show, on the machine the test runs on.
TEST(RecordFormatDatagram, MonitorAgreesWithTheHostOnEveryFieldBothShow) {
    RemoteListener listener("record-format");
    ASSERT_GE(listener.Fd(), 0);
    VirtualEventBus bus;
    bus.m_udpSocket = zr_local_udp_open(nullptr);
    ASSERT_GE(bus.m_udpSocket, 0);
    bus.m_remoteNames.insert(listener.Name());

    std::vector<CameraParams> records(4);
    records[0].cameraType = SonyA7M3;
    records[0].connectState = 1;
    records[0].dispMode = true;
    records[1].cameraType = CanonEosR6;
    records[1].connectState = 1;
    records[1].recordEnable = true;
    records[1].shutterSpeed = "1/250";
    records[1].supportedShutterSpeed = {"30", "1/250", "1/8000"};
    records[1].supportedWhiteBalance = {"Auto", "Daylight"};
    records[2] = records[1];
    records[2].dispMode = true;
    records[2].iso = std::string(40, '8');
    records[2].supportedIso = std::vector<std::string>(20, "100");
    records[3].connectState = 2;

    const tools::RecordLayout here = tools::HostRecordLayout();
    const bool deviceLayout = here.size == 232 && here.dispModeOffset == 228;
    for (size_t i = 0; i < records.size(); ++i) {
        CameraParams& p = records[i];
        bus.Publish(CAMERA_PARAMS_NOTIFY_EVENT, &p, kCameraParamsWireSize);
        std::vector<uint8_t> bytes = listener.Receive(2000);
        ASSERT_EQ(bytes.size(), 240u) << i;
        nlohmann::json monitor = tools::DatagramToJson(tools::ParseDatagram(bytes.data(), bytes.size()));
        nlohmann::json host = tools::RecordToJson(p);
        for (const char* field : {"cameraType", "cameraName", "recordEnable", "connectState"}) {
            ASSERT_TRUE(monitor.contains(field)) << i << " " << field;
            EXPECT_EQ(monitor[field], host[field]) << i << " " << field;
        }
        EXPECT_EQ(monitor.contains("dispMode"), deviceLayout) << i << " " << monitor.dump();
        if (monitor.contains("dispMode")) {
            EXPECT_EQ(monitor["dispMode"], host["dispMode"]) << i;
        } else {
            EXPECT_TRUE(monitor["notShown"]["dispMode"].is_string()) << i << " " << monitor.dump();
        }
    }
    ::close(bus.m_udpSocket);
}

TEST(RecordFormatDatagram, ShortAndForeignDatagrams) {
    uint8_t tiny[5] = {1, 2, 3, 4, 5};
    tools::Datagram d = tools::ParseDatagram(tiny, sizeof(tiny));
    EXPECT_FALSE(d.valid);
    EXPECT_TRUE(tools::DatagramToJson(d).contains("error"));

    std::vector<uint8_t> other(12, 0);
    int32_t header[2] = {9002, 4};
    std::memcpy(other.data(), header, 8);
    d = tools::ParseDatagram(other.data(), other.size());
    nlohmann::json j = tools::DatagramToJson(d);
    EXPECT_EQ(j["event"], 9002);
    EXPECT_FALSE(j.contains("cameraType"));

    // A 9000 datagram cut short still reports what it holds.
    std::vector<uint8_t> cut(8 + 12, 0);
    int32_t h9000[2] = {9000, 232};
    std::memcpy(cut.data(), h9000, 8);
    d = tools::ParseDatagram(cut.data(), cut.size());
    j = tools::DatagramToJson(d);
    EXPECT_EQ(j["connectState"], 0);
    EXPECT_FALSE(j.contains("dispMode"));
}

}  // namespace
