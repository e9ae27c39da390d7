#include "CommandParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using tools::Command;
using tools::ParseCommand;

TEST(CommandParserSet, TextCommandsKeepTheRestOfTheLine) {
    const std::vector<std::pair<std::string, std::pair<EventType, std::string>>> cases = {
        {"focus AF-S", {CAMERA_SET_FOCUS_MODE_EVENT, "AF-S"}},
        {"iso 800", {CAMERA_SET_ISO_EVENT, "800"}},
        {"  iris   f/2.8  ", {CAMERA_SET_IRIS_EVENT, "f/2.8"}},
        {"shutter 1/250", {CAMERA_SET_SHUTTER_SPEED_EVENT, "1/250"}},
        {"wb Color Temperature", {CAMERA_SET_WHITE_BALANCE_EVENT, "Color Temperature"}},
        {"record 1", {CAMERA_ENABLE_RECORD_EVENT, "1"}},
        {"record 0", {CAMERA_ENABLE_RECORD_EVENT, "0"}},
    };
    for (const auto& c : cases) {
        Command cmd = ParseCommand(c.first);
        EXPECT_EQ(cmd.kind, Command::Kind::Publish) << c.first;
        EXPECT_EQ(cmd.event, c.second.first) << c.first;
        EXPECT_EQ(cmd.text, c.second.second) << c.first;
    }
}

TEST(CommandParserSet, TouchPacksTheTwoHalves) {
    Command cmd = ParseCommand("touch 960 540");
    ASSERT_EQ(cmd.kind, Command::Kind::Publish);
    EXPECT_EQ(cmd.event, CAMERA_TOUCH_FOCUS_EVENT);
    EXPECT_EQ(cmd.text, std::to_string((960 << 16) | 540));
    EXPECT_EQ(tools::PackTouchPoint(-1, -1), -1);
    EXPECT_EQ(tools::PackTouchPoint(0, -1), 0xFFFF);
    EXPECT_EQ(tools::PackTouchPoint(-1, 0), static_cast<int>(0xFFFF0000u));
    EXPECT_EQ(ParseCommand("touch -1 0").text, std::to_string(static_cast<int>(0xFFFF0000u)));
}

TEST(CommandParserSet, OtherCommands) {
    EXPECT_EQ(ParseCommand("").kind, Command::Kind::Empty);
    EXPECT_EQ(ParseCommand("   # a comment").kind, Command::Kind::Empty);
    EXPECT_EQ(ParseCommand("help").kind, Command::Kind::Help);
    EXPECT_EQ(ParseCommand("quit").kind, Command::Kind::Quit);
    EXPECT_EQ(ParseCommand("unplug").kind, Command::Kind::Unplug);
    EXPECT_EQ(ParseCommand("replug").kind, Command::Kind::Replug);
    Command wait = ParseCommand("wait 250");
    EXPECT_EQ(wait.kind, Command::Kind::Wait);
    EXPECT_EQ(wait.waitMs, 250);
}

TEST(CommandParserErrors, BadInputIsRefusedWithAReason) {
    const std::vector<std::string> bad = {
        "frobnicate",   "iso",          "wb   ",         "record",        "record 2",      "record on",
        "touch",        "touch 1",      "touch a b",     "touch 1 2 3",   "touch 40000 1", "wait",
        "wait -5",      "wait soon",    "quit now",      "help me",       "ISO 800",
    };
    for (const std::string& line : bad) {
        Command cmd = ParseCommand(line);
        EXPECT_EQ(cmd.kind, Command::Kind::Error) << line;
        EXPECT_FALSE(cmd.text.empty()) << line;
    }
}

TEST(CommandParserErrors, TextsMustFitThePayloadWithItsTerminator) {
    EXPECT_EQ(ParseCommand("iso " + std::string(99, '8')).kind, Command::Kind::Publish);
    Command tooLong = ParseCommand("iso " + std::string(100, '8'));
    EXPECT_EQ(tooLong.kind, Command::Kind::Error);
    EXPECT_NE(tooLong.text.find("too long"), std::string::npos);
}

TEST(CommandParserPayload, IsAZeroFilledHundredByteBuffer) {
    tools::RequestPayload p = tools::MakePayload("800");
    ASSERT_EQ(p.size(), 100u);
    EXPECT_STREQ(p.data(), "800");
    for (size_t i = 3; i < p.size(); ++i) ASSERT_EQ(p[i], '\0');
    tools::RequestPayload full = tools::MakePayload(std::string(150, 'x'));
    EXPECT_EQ(std::strlen(full.data()), 99u) << "always terminated";
}

}  // namespace
