// One camera event at a time into the record, with the objects the factory makes for the codes
// only a model translates; each block has exactly the driver's size, for the sanitizers.
#include "CameraEventDecoder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CameraFactory.h"
#include "LogCapture.h"

namespace {

using O = CameraEventDecoder::Outcome;
using Block = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

const char kNikon[] = "Nikon Z8";
const char kSony[] = "Sony Alpha-A7 III (PC Control)";
const char kCanon[] = "Canon EOS R6m2";

// Blocks as the driver fills them; the bytes the decoder must not read are not zero.
Block Int32(int64_t value, size_t size = 4, size_t at = 0) {
    Block b(size, 0xAA);
    const uint32_t bits = static_cast<uint32_t>(value);
    std::memcpy(b.data() + at, &bits, 4);
    return b;
}
// The state at byte 20 of 24; `atZero` at byte 0.
Block Record(int32_t state, int32_t atZero = 0x55555555) {
    Block b = Int32(state, 24, 20);
    std::memcpy(b.data(), &atZero, 4);
    return b;
}
Block Shutter(int32_t numerator, int32_t denominator) {
    Block b = Int32(numerator, 8);
    std::memcpy(b.data() + 4, &denominator, 4);
    return b;
}
Block Mode(int code) {
    return Block{static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>((code >> 8) & 0xFF)};
}

struct Case {
    const char* model;  // nullptr: no camera object (an unrecognised model)
    int type;
    Block block;
    O outcome;
    const char* text;  // the new text of the event's field ("1"/"0": the recording state); nullptr: none
};

// Decodes into a record whose every field has a value, and checks the outcome, that only the
// event's own field changed as expected, and the decoder's lines: one per iris event.
void Check(const Case& c) {
    SCOPED_TRACE(std::string(c.model ? c.model : "no camera") + ", event " + std::to_string(c.type));
    auto camera = c.model ? CameraFactory().CreateCamera(c.model, nullptr, nullptr) : nullptr;
    std::unique_ptr<uint8_t[]> data(new uint8_t[c.block.size()]);
    std::memcpy(data.get(), c.block.data(), c.block.size());
    CameraParams params;
    params.focusMode = params.iso = params.iris = params.shutterSpeed = params.mode = params.whiteBalance =
        "-";
    CameraParams expected = params;
    LogCapture log;
    EXPECT_EQ(CameraEventDecoder::Decode(c.type, data.get(), camera.get(), params), c.outcome);
    std::string* fields[] = {&expected.iris,      &expected.whiteBalance, &expected.iso, nullptr,
                             &expected.focusMode, &expected.shutterSpeed, &expected.mode};
    if (c.text && c.type == 10)
        expected.recordEnable = std::string(c.text) == "1";
    else if (c.text)
        *fields[c.type - 11] = c.text;
    EXPECT_TRUE(params == expected) << params.iso << " " << params.iris << " " << params.whiteBalance << " "
                                    << params.focusMode << " " << params.shutterSpeed << " " << params.mode;
    Strings lines;
    for (const LogLine& l : log.Lines()) {
        if (l.file == "Model/PluginCameraCtrl/CameraEventDecoder")
            lines.push_back(l.message);
    }
    EXPECT_EQ(lines,
              c.type == 11 ? Strings{"==== 当前 IRIS : " + params.iris.substr(2) + " ===="} : Strings{});
}

TEST(CameraEventDecoder, EachEventTypeReadsItsBytesIntoItsField) {
    const Block text = {'p', 'r', 'o', 'p', 0};
    // clang-format off
    const Case cases[] = {
        // 10: the state at byte 20, 0 or 1, whatever the model.
        {kSony, 10, Record(1), O::RecordState, "1"},           {nullptr, 10, Record(1), O::RecordState, "1"},
        {kSony, 10, Record(0, 1), O::RecordState, "0"},        {kSony, 10, Record(7), O::Nothing, nullptr},
        {kSony, 10, Record(-1), O::Nothing, nullptr},
        // 11: hundredths of an f-number.
        {kSony, 11, Int32(280), O::Changed, "f/2.8"},          {kCanon, 11, Int32(1100), O::Changed, "f/11"},
        {nullptr, 11, Int32(560), O::Changed, "f/5.6"},        {kNikon, 11, Int32(0), O::Changed, "f/0"},
        {kNikon, 11, Int32(-250), O::Changed, "f/-2.5"},       {kNikon, 11, Int32(INT32_MAX), O::Changed, "f/21474836.5"},
        {kNikon, 11, Int32(INT32_MIN), O::Changed, "f/-21474836.5"},
        // 13: the ISO, unsigned.
        {kSony, 13, Int32(6400), O::Changed, "6400"},          {nullptr, 13, Int32(0xFFFFFFFFLL), O::Changed, "4294967295"},
        // 12, 15, 16, 17: codes only a model translates; the Sony and Canon classes know none.
        {kSony, 12, Int32(4), O::Changed, nullptr},            {nullptr, 12, Int32(4), O::Nothing, nullptr},
        {kCanon, 15, Int32(0x8010), O::Nothing, nullptr},      {nullptr, 15, Int32(1), O::Nothing, nullptr},
        {kSony, 16, Shutter(1, 250), O::Nothing, nullptr},     {nullptr, 16, Shutter(1, 250), O::Nothing, nullptr},
        {kSony, 17, Mode(1), O::Nothing, nullptr},             {nullptr, 17, Mode(1), O::Nothing, nullptr},
        // 0: the camera asks for a full read; every other type is ignored.
        {kSony, 0, text, O::ReadAll, nullptr},                 {nullptr, 0, text, O::ReadAll, nullptr},
        {kNikon, 9, Record(1), O::Nothing, nullptr},           {kNikon, 14, Int32(1), O::Nothing, nullptr},
        {kNikon, 18, Record(1), O::Nothing, nullptr},          {kNikon, -1, Record(1), O::Nothing, nullptr},
    };
    // clang-format on
    for (const Case& c : cases)
        Check(c);
}

// The Nikon's codes: a mode in two bytes, the others in four; a code without a text changes
// nothing (a white balance still counts as a change). A shutter speed is a fraction.
TEST(CameraEventDecoder, TheNikonTranslatesItsCodes) {
    // clang-format off
    const std::pair<int, const char*> modes[] = {{1, "M"}, {2, "P"}, {3, "A"}, {4, "S"}, {5, nullptr}, {65535, nullptr}};
    const std::pair<int, const char*> focus[] = {{1, "MF"}, {0x8010, "AF-S"}, {0x8011, "AF-C"}, {0x8013, "AF-F"},
                                                 {0x8012, nullptr}, {2, nullptr}};
    const std::pair<int, const char*> whiteBalance[] = {
        {2, "Automatic"}, {4, "Daylight"}, {5, "Fluorescent"}, {6, "Tungsten"}, {7, "Flash"}, {0x8010, "Cloudy"},
        {0x8011, "Shade"}, {0x8012, "Color Temperature"}, {0x8013, "Preset"}, {0x8016, "Natural light auto"},
        {3, nullptr}, {0x8014, nullptr}};
    struct Fraction { int32_t numerator, denominator; const char* text; };
    const Fraction fractions[] = {
        {1, 250, "1/250"}, {10, 2500, "1/250"}, {1, 3, "1/3"}, {10, 13, "1/1.3"}, {2, 3, "1/1.5"}, {30, 1, "30"},
        {300, 10, "30"}, {25, 10, "2.5"}, {7, 2, "3.5"}, {1, 1, "1"}, {-30, 1, "-30"}, {65535, 65535, "Bulb"},
        {65535, 65533, "Time"}, {0, 250, nullptr}, {1, 0, nullptr}, {0, 0, nullptr}, {INT_MIN, -1, "2147483648"}};
    // clang-format on
    for (const auto& m : modes)
        Check({kNikon, 17, Mode(m.first), m.second ? O::ModeChanged : O::Nothing, m.second});
    for (const auto& f : focus)
        Check({"Nikon Z9", 15, Int32(f.first), f.second ? O::Changed : O::Nothing, f.second});
    for (const auto& w : whiteBalance)
        Check({w.first % 2 ? kNikon : "Nikon Z9", 12, Int32(w.first), O::Changed, w.second});
    for (const Fraction& f : fractions)
        Check({kNikon, 16, Shutter(f.numerator, f.denominator), f.text ? O::Changed : O::Nothing, f.text});
}

}  // namespace
