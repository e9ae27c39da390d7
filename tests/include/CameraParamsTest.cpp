#include "CameraParams.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

CameraParams Filled() {
    CameraParams p;
    p.cameraType = SonyA7M3;
    p.recordEnable = true;
    p.connectState = 1;
    p.focusMode = "AF-S";
    p.supportedFocusMode = {"AF-S", "MF"};
    p.iso = "800";
    p.supportedIso = {"AUTO", "100", "800"};
    p.iris = "f/2.8";
    p.supportedIris = {"f/2.8", "f/4"};
    p.shutterSpeed = "1/250";
    p.supportedShutterSpeed = {"1/125", "1/250"};
    p.mode = "M";
    p.supportedMode = {"P", "M"};
    p.whiteBalance = "Daylight";
    p.supportedWhiteBalance = {"Auto", "Daylight"};
    p.dispMode = true;
    return p;
}

TEST(CameraParamsRecord, DefaultsAreEmptyAndEqual) {
    CameraParams a, b;
    EXPECT_EQ(a.cameraType, Unrecognized);
    EXPECT_FALSE(a.recordEnable);
    EXPECT_EQ(a.connectState, 0);
    EXPECT_TRUE(a.focusMode.empty());
    EXPECT_TRUE(a.supportedWhiteBalance.empty());
    EXPECT_FALSE(a.dispMode);
    EXPECT_TRUE(a == b);
}

TEST(CameraParamsRecord, EqualityIgnoresOnlyTheDisplayMode) {
    CameraParams a = Filled();
    CameraParams b = Filled();
    b.dispMode = false;
    EXPECT_TRUE(a == b);

    const std::vector<std::pair<std::string, std::function<void(CameraParams&)>>> changes = {
        {"cameraType", [](CameraParams& p) { p.cameraType = SonyA7M4; }},
        {"recordEnable", [](CameraParams& p) { p.recordEnable = false; }},
        {"connectState", [](CameraParams& p) { p.connectState = 2; }},
        {"focusMode", [](CameraParams& p) { p.focusMode = "MF"; }},
        {"supportedFocusMode", [](CameraParams& p) { p.supportedFocusMode.pop_back(); }},
        {"iso", [](CameraParams& p) { p.iso = "8000"; }},
        {"supportedIso", [](CameraParams& p) { p.supportedIso.push_back("1600"); }},
        {"iris", [](CameraParams& p) { p.iris = "f/2.80"; }},
        {"supportedIris", [](CameraParams& p) { p.supportedIris[1] = "f/5.6"; }},
        {"shutterSpeed", [](CameraParams& p) { p.shutterSpeed.clear(); }},
        {"supportedShutterSpeed", [](CameraParams& p) { p.supportedShutterSpeed.clear(); }},
        {"mode", [](CameraParams& p) { p.mode = "m"; }},
        {"supportedMode", [](CameraParams& p) { p.supportedMode = {"P"}; }},
        {"whiteBalance", [](CameraParams& p) { p.whiteBalance += " "; }},
        {"supportedWhiteBalance", [](CameraParams& p) { p.supportedWhiteBalance[0] = "AWB"; }},
        {"list order", [](CameraParams& p) { std::swap(p.supportedIso[0], p.supportedIso[2]); }},
        {"embedded NUL", [](CameraParams& p) { p.iso = std::string("800\0", 4); }},
    };
    for (const auto& change : changes) {
        CameraParams c = Filled();
        change.second(c);
        EXPECT_FALSE(a == c) << change.first;
        EXPECT_TRUE(a != c) << change.first;
    }
}

TEST(CameraParamsRecord, AssignmentCopiesDeeply) {
    CameraParams source = Filled();
    CameraParams copy;
    copy = source;
    EXPECT_TRUE(copy == source);
    EXPECT_TRUE(copy.dispMode);
    copy.supportedIso.push_back("12800");
    copy.iso[0] = '9';
    EXPECT_EQ(source.supportedIso.size(), 3u);
    EXPECT_EQ(source.iso, "800");
    EXPECT_NE(copy.supportedIso.data(), source.supportedIso.data());
}

TEST(CameraParamsRecord, WireLengthCoversThePlainFields) {
    EXPECT_EQ(kCameraParamsWireSize, 232);
    EXPECT_GE(sizeof(CameraParams), static_cast<size_t>(kCameraParamsWireSize))
        << "publishing 232 bytes must stay inside the record";
}

}  // namespace
