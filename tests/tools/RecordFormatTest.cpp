#include "RecordFormat.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "RemoteListener.h"
#include "VirtualEventBus.h"

namespace {

CameraParams Filled() {
    CameraParams p;
    p.cameraType = NikonZ9;
    p.connectState = 2;
    p.recordEnable = true;
    p.dispMode = true;
    p.mode = "M", p.focusMode = "AF-S", p.iso = "800", p.iris = "f/4", p.shutterSpeed = "1/250";
    p.whiteBalance = "Daylight";
    p.supportedMode = {"P", "M"}, p.supportedFocusMode = {"AF-S"}, p.supportedIso = {"100", "800"};
    p.supportedIris = {"f/2.8", "f/4"}, p.supportedShutterSpeed = {"1/250"};
    return p;
}

TEST(RecordFormatJson, TheRecordForScriptsAndForPeople) {
    EXPECT_EQ(tools::RecordToJson(Filled()), nlohmann::json::parse(R"({"event": 9000, "cameraType": 14,
        "cameraName": "NikonZ9", "connectState": 2, "recordEnable": true, "dispMode": true, "mode": "M",
        "supportedMode": ["P", "M"], "focusMode": "AF-S", "supportedFocusMode": ["AF-S"], "iso": "800",
        "supportedIso": ["100", "800"], "iris": "f/4", "supportedIris": ["f/2.8", "f/4"],
        "shutterSpeed": "1/250", "supportedShutterSpeed": ["1/250"], "whiteBalance": "Daylight",
        "supportedWhiteBalance": []})"));
    EXPECT_EQ(tools::RecordToText(Filled()),
              "== camera NikonZ9 (type 14), connection failed (2), recording on, display mode on\n"
              "   mode          M  [P, M]\n   focus mode    AF-S  [AF-S]\n   ISO           800  [100, 800]\n"
              "   iris          f/4  [f/2.8, f/4]\n   shutter speed 1/250  [1/250]\n   white balance "
              "Daylight  []\n");
    CameraParams other;
    other.cameraType = static_cast<CameraType>(15);
    other.connectState = 3;
    EXPECT_EQ(tools::RecordToText(other).substr(0, 79),
              "== camera Unrecognized (type 15), unknown (3), recording off, display mode off\n");
    EXPECT_EQ(tools::CameraTypeName(-1), "Unrecognized");
    EXPECT_EQ(tools::CameraTypeName(12), "CanonEosR6M2");  // the second R6 Mark II type
}

// A 9000 datagram of `size` payload bytes: camera type 13, connect state 2, and `flag` as the
// recording and the display-mode byte, as far as the payload reaches.
std::vector<uint8_t> Datagram9000(size_t size, uint8_t flag) {
    std::vector<uint8_t> bytes(8 + size, 0);
    const uint8_t head[] = {0x28, 0x23, 0, 0, 232, 0, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    std::memcpy(bytes.data(), head, std::min(sizeof head, bytes.size()));
    if (size > 4)
        bytes[8 + 4] = flag;
    if (size > 228)
        bytes[8 + 228] = flag;
    return bytes;
}

TEST(RecordFormatDatagram, PlainFieldsAreShownWhereThePayloadHoldsThemOnTheDevicesLayout) {
    const std::string camera = ": camera NikonZ8 (type 13)", all = camera + ", recording on, connect state 2";
    auto ends = [](size_t size, const char* field, int end) {
        return std::string("; ") + field + " not shown: the payload of " + std::to_string(size) +
               " bytes ends before byte " + std::to_string(end);
    };
    auto layout = [](const char* here) {
        return std::string("; display mode not shown: the record is laid out differently on this machine (") +
               here +
               ") than on the device (232 bytes, display mode at byte 228): byte 228 of the payload is "
               "not the display mode";
    };
    const std::string noState = ends(5, "connect state", 12);
    const struct {
        tools::RecordLayout layout;
        size_t size;
        uint8_t flag;
        std::string text;  // after "event 9000, length 232 (N bytes)"
    } cases[] = {
        {tools::kDeviceRecordLayout, 232, 1, all + ", display mode on"},
        {tools::kDeviceRecordLayout, 300, 0, camera + ", recording off, connect state 2, display mode off"},
        {tools::kDeviceRecordLayout, 228, 1, all + ends(228, "display mode", 229)},
        {{360, 352}, 232, 1, all + layout("360 bytes, display mode at byte 352")},
        {{232, 224}, 232, 1, all + layout("232 bytes, display mode at byte 224")},
        {tools::kDeviceRecordLayout, 12, 1, all + ends(12, "display mode", 229)},
        {tools::kDeviceRecordLayout, 5, 1,
         camera + ", recording on" + noState + ends(5, "display mode", 229)},
        {tools::kDeviceRecordLayout, 4, 1,
         camera + ends(4, "recording", 5) + ends(4, "connect state", 12) + ends(4, "display mode", 229)},
        {tools::kDeviceRecordLayout, 3, 1,
         ends(3, "camera type", 4) + ends(3, "recording", 5) + ends(3, "connect state", 12) +
             ends(3, "display mode", 229)},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = Datagram9000(c.size, c.flag);
        tools::Datagram d = tools::ParseDatagram(bytes.data(), bytes.size());
        EXPECT_EQ(tools::DatagramToText(d, c.layout),
                  "event 9000, length 232 (" + std::to_string(bytes.size()) + " bytes)" + c.text);
    }
    std::vector<uint8_t> bytes = Datagram9000(232, 1);
    EXPECT_EQ(
        tools::DatagramToJson(tools::ParseDatagram(bytes.data(), bytes.size()), tools::kDeviceRecordLayout),
        nlohmann::json::parse(R"({"event": 9000, "length": 232, "bytes": 240, "cameraType": 13,
                  "cameraName": "NikonZ8", "recordEnable": true, "connectState": 2, "dispMode": true})"));
    bytes = Datagram9000(3, 1);
    nlohmann::json j = tools::DatagramToJson(tools::ParseDatagram(bytes.data(), bytes.size()), {360, 352});
    EXPECT_EQ(j["notShown"]["cameraType"], "the payload of 3 bytes ends before byte 4");
    EXPECT_EQ(j.size(), 4u) << j.dump();  // event, length, bytes and why the fields are not shown
    EXPECT_EQ(j["notShown"].size(), 4u) << j.dump();
}

TEST(RecordFormatDatagram, ShortAndOtherDatagrams) {
    const uint8_t other[12] = {0x2a, 0x23, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4};
    tools::Datagram d = tools::ParseDatagram(other, 5);
    EXPECT_FALSE(d.valid);
    EXPECT_EQ(tools::DatagramToText(d), "short datagram (5 bytes)");
    EXPECT_EQ(tools::DatagramToJson(d).dump(),
              R"({"bytes":5,"error":"datagram shorter than its 8-byte header","event":0,"length":0})");
    d = tools::ParseDatagram(other, sizeof other);
    EXPECT_EQ(tools::DatagramToText(d), "event 9002, length 4 (12 bytes)");
    EXPECT_EQ(tools::DatagramToJson(d).dump(), R"({"bytes":12,"event":9002,"length":4})");
}

// What camera-host prints from the record in memory and what camera-monitor prints from the
// datagram the bus sends agree on every field both show, on the machine the test runs on.
TEST(RecordFormatDatagram, MonitorAgreesWithTheHostOnEveryFieldBothShow) {
    RemoteListener listener("record-format");
    VirtualEventBus bus;
    bus.m_udpSocket = zr_local_udp_open(nullptr);
    bus.m_remoteNames.insert(listener.Name());
    const tools::RecordLayout here = tools::HostRecordLayout();
    CameraParams p = Filled();
    p.supportedIso = std::vector<std::string>(20, std::string(40, '8'));
    bus.Publish(CAMERA_PARAMS_NOTIFY_EVENT, &p, kCameraParamsWireSize);
    std::vector<uint8_t> bytes = listener.Receive(2000);
    ASSERT_EQ(bytes.size(), 240u);
    nlohmann::json monitor = tools::DatagramToJson(tools::ParseDatagram(bytes.data(), bytes.size()));
    nlohmann::json host = tools::RecordToJson(p);
    for (const char* field : {"cameraType", "cameraName", "recordEnable", "connectState"})
        EXPECT_EQ(monitor[field], host[field]) << field;
    EXPECT_EQ(monitor.contains("dispMode"), here.size == 232 && here.dispModeOffset == 228) << monitor.dump();
    EXPECT_EQ(monitor.value("dispMode", true), host["dispMode"]);
    ::close(bus.m_udpSocket);
}

}  // namespace
