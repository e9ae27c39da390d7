#include "RecordFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
    nlohmann::json j = tools::DatagramToJson(d);
    EXPECT_EQ(j["cameraType"], 13);
    EXPECT_EQ(j["recordEnable"], true);
    EXPECT_EQ(j["connectState"], 1);
    EXPECT_EQ(j["dispMode"], true);
    EXPECT_EQ(j["bytes"], 240);
    EXPECT_NE(tools::DatagramToText(d).find("camera NikonZ8 (type 13), recording on, connect state 1"),
              std::string::npos);
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
