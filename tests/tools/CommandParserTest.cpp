#include "CommandParser.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using tools::Command;

std::string Describe(const Command& c) {
    const char* const kinds[] = {"empty", "publish", "wait", "help", "quit", "unplug", "replug", "error"};
    std::string out = kinds[static_cast<int>(c.kind)];
    if (c.kind == Command::Kind::Publish)
        out += " " + std::to_string(c.event);
    if (c.kind == Command::Kind::Wait)
        out += " " + std::to_string(c.waitMs);
    return c.text.empty() ? out : out + " " + c.text;
}

TEST(CommandParserSet, EachLineBecomesItsRequestOrAnErrorWithTheReason) {
    const std::string touch =
        "error touch: expected two integers H V from -32768 to 32767 (surface 1920 x 1080)";
    const std::string wait = "error wait: expected milliseconds from 0 to 3600000";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"empty", {"", " \t\r\n", "   # a comment"}},
        {"help", {"help"}},
        {"quit", {"quit", "exit"}},
        {"unplug", {"unplug"}},
        {"replug", {"replug"}},
        {"wait 0", {"wait 0"}},
        {"wait 3600000", {"wait 3600000"}},
        {"publish 9001 AF-S", {"focus AF-S"}},
        {"publish 9002 800", {"iso 800", "\tiso   800  "}},
        {"publish 9003 f/2.8", {"iris f/2.8"}},
        {"publish 9004 1/250", {"shutter 1/250"}},
        {"publish 9005 Color Temperature", {"wb Color Temperature"}},
        {"publish 9006 1", {"record 1"}},
        {"publish 9006 0", {"record 0"}},
        {"publish 9007 " + std::to_string((960 << 16) | 540), {"touch 960 540"}},
        {"publish 9007 -65536", {"touch -1 0"}},
        {"publish 9007 -2147450881", {"touch -32768 32767"}},
        {"publish 9002 " + std::string(99, '8'), {"iso " + std::string(99, '8')}},
        {"error iso: value too long (at most 99 bytes)", {"iso " + std::string(100, '8')}},
        {"error unknown command 'frobnicate' (try: help)", {"frobnicate", "frobnicate 1"}},
        {"error unknown command 'ISO' (try: help)", {"ISO 800"}},
        {"error iso: missing value (try: help)", {"iso", "iso   "}},
        {"error wb: missing value (try: help)", {"wb"}},
        {"error record: expected 0 or 1", {"record", "record 2", "record on", "record 1 1"}},
        {touch,
         {"touch", "touch 1", "touch a b", "touch 1 2 3", "touch 32768 0", "touch 0 -32769", "touch 1x 2"}},
        {wait, {"wait", "wait -1", "wait soon", "wait 3600001", "wait 5ms"}},
        {"error quit: takes no argument", {"quit now"}},
        {"error help: takes no argument", {"help me"}},
    };
    for (const auto& [expected, lines] : cases) {
        for (const std::string& line : lines)
            EXPECT_EQ(Describe(tools::ParseCommand(line)), expected) << "'" << line << "'";
    }
}

TEST(CommandParserPayload, IsAZeroFilledHundredByteBufferAlwaysTerminated) {
    tools::RequestPayload p = tools::MakePayload("800");
    EXPECT_EQ(std::string(p.data(), p.size()), "800" + std::string(97, '\0'));
    tools::RequestPayload full = tools::MakePayload(std::string(150, 'x'));
    EXPECT_EQ(std::string(full.data(), full.size()), std::string(99, 'x') + '\0');
}

}  // namespace
