// One camera event at a time into the record, with the real model classes for the codes
// only a model can translate.
#include "CameraEventDecoder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CameraFactory.h"
#include "LogCapture.h"

namespace {

using Outcome = CameraEventDecoder::Outcome;
using Block = std::vector<uint8_t>;

const char kDecoderFile[] = "Model/PluginCameraCtrl/CameraEventDecoder";

// Blocks as the driver fills them; the bytes the receiver must not read are not zero.
Block Int32Block(int64_t value) {
    Block b(4);
    uint32_t bits = static_cast<uint32_t>(value);
    std::memcpy(b.data(), &bits, 4);
    return b;
}
Block RecordBlock(int32_t state, int32_t atStart = 0x55555555) {
    Block b(24, 0xAA);
    std::memcpy(b.data(), &atStart, 4);
    std::memcpy(b.data() + 20, &state, 4);
    return b;
}
Block ShutterBlock(int32_t numerator, int32_t denominator) {
    Block b(8);
    std::memcpy(b.data(), &numerator, 4);
    std::memcpy(b.data() + 4, &denominator, 4);
    return b;
}
Block ModeBlock(uint16_t code) {
    Block b(2);
    std::memcpy(b.data(), &code, 2);
    return b;
}

// A record in which every field has a value of its own, so that any change shows.
CameraParams Before() {
    CameraParams p;
    p.cameraType = NikonZ8;
    p.recordEnable = false;
    p.connectState = 1;
    p.focusMode = "before-focus";
    p.iso = "before-iso";
    p.iris = "before-iris";
    p.shutterSpeed = "before-shutter";
    p.mode = "before-mode";
    p.whiteBalance = "before-wb";
    p.supportedIso = {"100", "200"};
    return p;
}

std::string Show(const CameraParams& p) {
    return "record=" + std::to_string(p.recordEnable) + " focus=" + p.focusMode + " iso=" + p.iso +
           " iris=" + p.iris + " shutter=" + p.shutterSpeed + " mode=" + p.mode + " wb=" + p.whiteBalance;
}

struct Case {
    const char* name;
    CameraType model;  // Unrecognized: no camera object
    int type;
    Block block;
    Outcome outcome;
    std::function<void(CameraParams&)> expect;  // the change to Before(); null: none
    std::string irisLog;                        // the level-5 line expected, if any
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<AbstructCamera> camera;
        if (c.model != Unrecognized) {
            camera = CameraFactory::CreateCameraOfType(c.model, nullptr, nullptr);
            ASSERT_NE(camera, nullptr);
        }
        // Exactly the block's size on the heap: a read past it is caught by the sanitizers.
        std::unique_ptr<uint8_t[]> data(new uint8_t[c.block.size()]);
        std::memcpy(data.get(), c.block.data(), c.block.size());
        CameraParams params = Before();
        LogCapture log;
        EXPECT_EQ(CameraEventDecoder::Decode(c.type, data.get(), camera.get(), params), c.outcome);
        CameraParams expected = Before();
        if (c.expect)
            c.expect(expected);
        EXPECT_TRUE(params == expected) << "got " << Show(params) << "\nwanted " << Show(expected);
        std::vector<std::string> lines;
        for (const LogLine& l : log.Lines()) {
            if (l.file == kDecoderFile)
                lines.push_back(std::to_string(l.level) + " " + l.message);
        }
        if (c.irisLog.empty())
            EXPECT_TRUE(lines.empty()) << lines.front();
        else
            EXPECT_EQ(lines, std::vector<std::string>{"5 " + c.irisLog});
    }
}

TEST(CameraEventDecoder, RecordingStateAtByte20) {
    Check({
        {"1 starts", SonyA7M3, 10, RecordBlock(1), Outcome::RecordState,
         [](CameraParams& p) { p.recordEnable = true; }, ""},
        {"0 stops, also unchanged", SonyA7M3, 10, RecordBlock(0), Outcome::RecordState, nullptr, ""},
        {"no camera object", Unrecognized, 10, RecordBlock(1), Outcome::RecordState,
         [](CameraParams& p) { p.recordEnable = true; }, ""},
        {"7 is no state", SonyA7M3, 10, RecordBlock(7), Outcome::Nothing, nullptr, ""},
        {"-1 is no state", SonyA7M3, 10, RecordBlock(-1), Outcome::Nothing, nullptr, ""},
        {"a 1 at byte 0 is not the state", SonyA7M3, 10, RecordBlock(0, 1), Outcome::RecordState, nullptr,
         ""},
    });
}

TEST(CameraEventDecoder, IrisHundredths) {
    auto iris = [](const char* text) { return [text](CameraParams& p) { p.iris = text; }; };
    Check({
        {"280", SonyA7M3, 11, Int32Block(280), Outcome::Changed, iris("f/2.8"), "==== 当前 IRIS : 2.8 ===="},
        {"400", SonyA7M3, 11, Int32Block(400), Outcome::Changed, iris("f/4"), "==== 当前 IRIS : 4 ===="},
        {"1000", SonyA7M3, 11, Int32Block(1000), Outcome::Changed, iris("f/10"), "==== 当前 IRIS : 10 ===="},
        {"1100", CanonEosR6, 11, Int32Block(1100), Outcome::Changed, iris("f/11"),
         "==== 当前 IRIS : 11 ===="},
        {"560 no camera", Unrecognized, 11, Int32Block(560), Outcome::Changed, iris("f/5.6"),
         "==== 当前 IRIS : 5.6 ===="},
        {"0", NikonZ8, 11, Int32Block(0), Outcome::Changed, iris("f/0"), "==== 当前 IRIS : 0 ===="},
        {"-250", NikonZ8, 11, Int32Block(-250), Outcome::Changed, iris("f/-2.5"),
         "==== 当前 IRIS : -2.5 ===="},
        {"largest", NikonZ8, 11, Int32Block(INT32_MAX), Outcome::Changed, iris("f/21474836.5"),
         "==== 当前 IRIS : 21474836.5 ===="},
        {"smallest", NikonZ8, 11, Int32Block(INT32_MIN), Outcome::Changed, iris("f/-21474836.5"),
         "==== 当前 IRIS : -21474836.5 ===="},
    });
}

TEST(CameraEventDecoder, IsoIsUnsigned) {
    auto iso = [](const char* text) { return [text](CameraParams& p) { p.iso = text; }; };
    Check({
        {"6400", SonyA7M4, 13, Int32Block(6400), Outcome::Changed, iso("6400"), ""},
        {"0", SonyA7M4, 13, Int32Block(0), Outcome::Changed, iso("0"), ""},
        {"2^31", NikonZ8, 13, Int32Block(0x80000000LL), Outcome::Changed, iso("2147483648"), ""},
        {"2^32 - 1", Unrecognized, 13, Int32Block(0xFFFFFFFFLL), Outcome::Changed, iso("4294967295"), ""},
    });
}

TEST(CameraEventDecoder, WhiteBalanceCodesByModel) {
    auto wb = [](const char* text) { return [text](CameraParams& p) { p.whiteBalance = text; }; };
    Check({
        {"Nikon 4", NikonZ8, 12, Int32Block(4), Outcome::Changed, wb("Daylight"), ""},
        {"Nikon 0x8016", NikonZ9, 12, Int32Block(0x8016), Outcome::Changed, wb("Natural light auto"), ""},
        {"Nikon unknown 3", NikonZ8, 12, Int32Block(3), Outcome::Changed, nullptr, ""},
        {"Sony has no codes", SonyA7M3, 12, Int32Block(4), Outcome::Changed, nullptr, ""},
        {"no camera object", Unrecognized, 12, Int32Block(4), Outcome::Nothing, nullptr, ""},
    });
}

TEST(CameraEventDecoder, FocusModeCodesByModel) {
    auto focus = [](const char* text) { return [text](CameraParams& p) { p.focusMode = text; }; };
    Check({
        {"Nikon 1", NikonZ8, 15, Int32Block(1), Outcome::Changed, focus("MF"), ""},
        {"Nikon 0x8011", NikonZ8, 15, Int32Block(0x8011), Outcome::Changed, focus("AF-C"), ""},
        {"Nikon unknown 2", NikonZ8, 15, Int32Block(2), Outcome::Nothing, nullptr, ""},
        {"Canon has no codes", CanonEosR6M2, 15, Int32Block(0x8010), Outcome::Nothing, nullptr, ""},
        {"no camera object", Unrecognized, 15, Int32Block(1), Outcome::Nothing, nullptr, ""},
    });
}

TEST(CameraEventDecoder, ShutterSpeedFractionsByModel) {
    auto shutter = [](const char* text) { return [text](CameraParams& p) { p.shutterSpeed = text; }; };
    Check({
        {"Nikon 1/250", NikonZ8, 16, ShutterBlock(1, 250), Outcome::Changed, shutter("1/250"), ""},
        {"Nikon 30/1", NikonZ8, 16, ShutterBlock(30, 1), Outcome::Changed, shutter("30"), ""},
        {"Nikon 25/10", NikonZ8, 16, ShutterBlock(25, 10), Outcome::Changed, shutter("2.5"), ""},
        {"Nikon 10/13", NikonZ8, 16, ShutterBlock(10, 13), Outcome::Changed, shutter("1/1.3"), ""},
        {"Nikon bulb", NikonZ8, 16, ShutterBlock(65535, 65535), Outcome::Changed, shutter("Bulb"), ""},
        {"Nikon time", NikonZ8, 16, ShutterBlock(65535, 65533), Outcome::Changed, shutter("Time"), ""},
        {"Nikon 0/0", NikonZ8, 16, ShutterBlock(0, 0), Outcome::Nothing, nullptr, ""},
        {"Nikon INT_MIN/-1", NikonZ8, 16, ShutterBlock(INT32_MIN, -1), Outcome::Changed,
         shutter("2147483648"), ""},
        {"Sony has no fractions", SonyFX3, 16, ShutterBlock(1, 250), Outcome::Nothing, nullptr, ""},
        {"no camera object", Unrecognized, 16, ShutterBlock(1, 250), Outcome::Nothing, nullptr, ""},
    });
}

TEST(CameraEventDecoder, ModeCodesByModel) {
    auto mode = [](const char* text) { return [text](CameraParams& p) { p.mode = text; }; };
    Check({
        {"Nikon 1", NikonZ8, 17, ModeBlock(1), Outcome::ModeChanged, mode("M"), ""},
        {"Nikon 3", NikonZ8, 17, ModeBlock(3), Outcome::ModeChanged, mode("A"), ""},
        {"Nikon unknown 5", NikonZ8, 17, ModeBlock(5), Outcome::Nothing, nullptr, ""},
        {"Nikon 65535", NikonZ8, 17, ModeBlock(65535), Outcome::Nothing, nullptr, ""},
        {"Sony has no codes", SonyZVE10, 17, ModeBlock(1), Outcome::Nothing, nullptr, ""},
        {"no camera object", Unrecognized, 17, ModeBlock(1), Outcome::Nothing, nullptr, ""},
    });
}

TEST(CameraEventDecoder, UnknownEventReadsAllAndOtherTypesAreIgnored) {
    const Block text = {'p', 'r', 'o', 'p', 0};
    Check({
        {"0", SonyA7M3, 0, text, Outcome::ReadAll, nullptr, ""},
        {"0 without camera object", Unrecognized, 0, text, Outcome::ReadAll, nullptr, ""},
        {"1", NikonZ8, 1, RecordBlock(1), Outcome::Nothing, nullptr, ""},
        {"9", NikonZ8, 9, RecordBlock(1), Outcome::Nothing, nullptr, ""},
        {"14", NikonZ8, 14, RecordBlock(1), Outcome::Nothing, nullptr, ""},
        {"18", NikonZ8, 18, RecordBlock(1), Outcome::Nothing, nullptr, ""},
        {"-1", NikonZ8, -1, RecordBlock(1), Outcome::Nothing, nullptr, ""},
        {"0x1000d", NikonZ8, 0x1000d, RecordBlock(1), Outcome::Nothing, nullptr, ""},
    });
}

}  // namespace
