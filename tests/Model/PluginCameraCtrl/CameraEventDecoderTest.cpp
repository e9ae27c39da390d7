// Camera events into the record, each block of exactly the driver's size (for the sanitizers).
#include "CameraEventDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "CameraFactory.h"
#include "LogCapture.h"

namespace {

using O = CameraEventDecoder::Outcome;
using Block = std::vector<uint8_t>;

// A block as the driver fills it: 32-bit values at their offsets, 0xAA where nothing is read.
Block At(size_t size, std::initializer_list<std::pair<size_t, int64_t>> values) {
    Block b(size, 0xAA);
    for (const auto& v : values) {
        const uint32_t bits = static_cast<uint32_t>(v.second);
        std::memcpy(b.data() + v.first, &bits, std::min<size_t>(4, size - v.first));
    }
    return b;
}

// Decodes into a full record: the outcome, only the event's field changed (to `text`, "1"/"0" the
// recording state; nullptr: nothing), and one line per iris event.
void Check(const char* model, int type, const Block& block, O outcome, const char* text) {
    SCOPED_TRACE(std::string(model ? model : "no camera") + ", event " + std::to_string(type));
    auto camera = model ? CameraFactory().CreateCamera(model, nullptr, nullptr) : nullptr;
    std::unique_ptr<uint8_t[]> data(new uint8_t[block.size()]);
    std::memcpy(data.get(), block.data(), block.size());
    CameraParams params;
    params.focusMode = params.iso = params.iris = params.shutterSpeed = params.mode = params.whiteBalance =
        "-";
    CameraParams expected = params;
    LogCapture log;
    EXPECT_EQ(CameraEventDecoder::Decode(type, data.get(), camera.get(), params), outcome);
    std::string* fields[] = {&expected.iris,      &expected.whiteBalance, &expected.iso, nullptr,
                             &expected.focusMode, &expected.shutterSpeed, &expected.mode};
    if (text && type == 10)
        expected.recordEnable = std::string(text) == "1";
    else if (text)
        *fields[type - 11] = text;
    EXPECT_TRUE(params == expected) << params.iso << "|" << params.iris << "|" << params.whiteBalance << "|"
                                    << params.mode;
    std::vector<std::string> lines;
    for (const LogLine& l : log.Lines()) {
        if (l.file == "Model/PluginCameraCtrl/CameraEventDecoder")
            lines.push_back(l.message);
    }
    EXPECT_EQ(lines,
              (type == 11 ? std::vector<std::string>{"==== 当前 IRIS : " + params.iris.substr(2) + " ===="}
                          : std::vector<std::string>{}));
}

TEST(CameraEventDecoder, EachEventTypeReadsItsBytesIntoItsField) {
    const char *nikon = "Nikon Z8", *sony = "Sony Alpha-A7 III (PC Control)", *canon = "Canon EOS R6m2";
    const Block record = At(24, {{20, 1}}), shutter = At(8, {{0, 1}, {4, 250}}), mode = At(2, {{0, 1}});
    // clang-format off
    const std::tuple<const char*, int, Block, O, const char*> cases[] = {
        // 10: the state at byte 20, 0 or 1, whatever the model.
        {sony, 10, record, O::RecordState, "1"},                      {nullptr, 10, record, O::RecordState, "1"},
        {sony, 10, At(24, {{0, 1}, {20, 0}}), O::RecordState, "0"},   {sony, 10, At(24, {{20, 7}}), O::Nothing, nullptr},
        {sony, 10, At(24, {{20, -1}}), O::Nothing, nullptr},
        // 11: hundredths of an f-number.
        {sony, 11, At(4, {{0, 280}}), O::Changed, "f/2.8"},                  {canon, 11, At(4, {{0, 1100}}), O::Changed, "f/11"},
        {nullptr, 11, At(4, {{0, 560}}), O::Changed, "f/5.6"},               {nikon, 11, At(4, {{0, 0}}), O::Changed, "f/0"},
        {nikon, 11, At(4, {{0, -250}}), O::Changed, "f/-2.5"}, {nikon, 11, At(4, {{0, INT32_MAX}}), O::Changed, "f/21474836.5"},
        {nikon, 11, At(4, {{0, INT32_MIN}}), O::Changed, "f/-21474836.5"},
        // 13: the ISO, unsigned.
        {sony, 13, At(4, {{0, 6400}}), O::Changed, "6400"}, {nullptr, 13, At(4, {{0, 0xFFFFFFFFLL}}), O::Changed, "4294967295"},
        // 12, 15, 16, 17: codes only a model translates; the Sony and Canon classes know none.
        {sony, 12, At(4, {{0, 4}}), O::Changed, nullptr},                    {nullptr, 12, At(4, {{0, 4}}), O::Nothing, nullptr},
        {canon, 15, At(4, {{0, 0x8010}}), O::Nothing, nullptr},              {nullptr, 15, At(4, {{0, 1}}), O::Nothing, nullptr},
        {sony, 16, shutter, O::Nothing, nullptr},                     {nullptr, 16, shutter, O::Nothing, nullptr},
        {sony, 17, mode, O::Nothing, nullptr},                        {nullptr, 17, mode, O::Nothing, nullptr},
        // 0: the camera asks for a full read; every other type is ignored.
        {sony, 0, Block{'p', 0}, O::ReadAll, nullptr},                {nullptr, 0, Block{'p', 0}, O::ReadAll, nullptr},
        {nikon, 9, record, O::Nothing, nullptr},                      {nikon, 18, record, O::Nothing, nullptr},
    };
    // clang-format on
    for (const auto& [model, type, block, outcome, text] : cases)
        Check(model, type, block, outcome, text);
}

// The Nikon's codes (a mode in two bytes) and shutter fractions; a white balance always counts.
TEST(CameraEventDecoder, TheNikonTranslatesItsCodes) {
    // clang-format off
    const std::pair<int, const char*> modes[] = {{1, "M"}, {2, "P"}, {3, "A"}, {4, "S"}, {5, nullptr}, {65535, nullptr}};
    const std::pair<int, const char*> focus[] = {{1, "MF"}, {0x8010, "AF-S"}, {0x8011, "AF-C"}, {0x8013, "AF-F"},
                                                 {0x8012, nullptr}, {2, nullptr}};
    const std::pair<int, const char*> whiteBalance[] = {
        {2, "Automatic"}, {4, "Daylight"}, {5, "Fluorescent"}, {6, "Tungsten"}, {7, "Flash"}, {0x8010, "Cloudy"},
        {0x8011, "Shade"}, {0x8012, "Color Temperature"}, {0x8013, "Preset"}, {0x8016, "Natural light auto"},
        {3, nullptr}, {0x8014, nullptr}};
    const std::tuple<int32_t, int32_t, const char*> fractions[] = {
        {1, 250, "1/250"}, {10, 2500, "1/250"}, {1, 3, "1/3"}, {10, 13, "1/1.3"}, {2, 3, "1/1.5"}, {30, 1, "30"}, {300, 10, "30"},
        {25, 10, "2.5"}, {7, 2, "3.5"}, {1, 1, "1"}, {-30, 1, "-30"}, {65535, 65535, "Bulb"}, {65535, 65533, "Time"},
        {0, 250, nullptr}, {1, 0, nullptr}, {0, 0, nullptr}, {INT_MIN, -1, "2147483648"}};
    // clang-format on
    for (const auto& [code, text] : modes)
        Check("Nikon Z8", 17, At(2, {{0, code}}), text ? O::ModeChanged : O::Nothing, text);
    for (const auto& [code, text] : focus)
        Check("Nikon Z9", 15, At(4, {{0, code}}), text ? O::Changed : O::Nothing, text);
    for (const auto& [code, text] : whiteBalance)
        Check(code % 2 ? "Nikon Z8" : "Nikon Z9", 12, At(4, {{0, code}}), O::Changed, text);
    for (const auto& [numerator, denominator, text] : fractions)
        Check("Nikon Z8", 16, At(8, {{0, numerator}, {4, denominator}}), text ? O::Changed : O::Nothing,
              text);
}

}  // namespace
