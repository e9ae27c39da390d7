#include "CommandParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "NumberText.h"

namespace tools {

namespace {

std::string Trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::string();
    size_t end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

Command Error(const std::string& message) {
    Command c;
    c.kind = Command::Kind::Error;
    c.text = message;
    return c;
}

bool ParseInt(const std::string& text, long min, long max, long& out) {
    long long v = 0;
    if (!numtext::WholeInteger(text, min, max, v))
        return false;
    out = static_cast<long>(v);
    return true;
}

}  // namespace

Command ParseCommand(const std::string& rawLine) {
    std::string line = Trim(rawLine);
    if (line.empty() || line[0] == '#') {
        return Command{};
    }
    size_t space = line.find_first_of(" \t");
    std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));

    if (const TextSetting* tc = FindTextSetting(word)) {
        if (rest.empty())
            return Error(word + ": missing value (try: help)");
        if (rest.size() >= kRequestPayloadSize) {
            return Error(word + ": value too long (at most " + std::to_string(kRequestPayloadSize - 1) +
                         " bytes)");
        }
        Command c;
        c.kind = Command::Kind::Publish;
        c.event = tc->event;
        c.text = rest;
        return c;
    }
    if (word == "record") {
        if (rest != "0" && rest != "1")
            return Error("record: expected 0 or 1");
        Command c;
        c.kind = Command::Kind::Publish;
        c.event = CAMERA_ENABLE_RECORD_EVENT;
        c.text = rest;
        return c;
    }
    if (word == "touch") {
        std::istringstream in(rest);
        std::string hText, vText, extra;
        in >> hText >> vText >> extra;
        long h = 0, v = 0;
        if (!extra.empty() || !ParseInt(hText, INT16_MIN, INT16_MAX, h) ||
            !ParseInt(vText, INT16_MIN, INT16_MAX, v)) {
            return Error("touch: expected two integers H V from -32768 to 32767 (surface 1920 x 1080)");
        }
        Command c;
        c.kind = Command::Kind::Publish;
        c.event = CAMERA_TOUCH_FOCUS_EVENT;
        c.text = std::to_string(PackTouchPoint(static_cast<int>(h), static_cast<int>(v)));
        return c;
    }
    if (word == "wait") {
        long ms = 0;
        if (!ParseInt(rest, 0, 3600 * 1000, ms))
            return Error("wait: expected milliseconds from 0 to 3600000");
        Command c;
        c.kind = Command::Kind::Wait;
        c.waitMs = static_cast<int>(ms);
        return c;
    }
    const struct {
        const char* name;
        Command::Kind kind;
    } plain[] = {{"help", Command::Kind::Help},
                 {"quit", Command::Kind::Quit},
                 {"exit", Command::Kind::Quit},
                 {"unplug", Command::Kind::Unplug},
                 {"replug", Command::Kind::Replug}};
    for (const auto& p : plain) {
        if (word != p.name)
            continue;
        if (!rest.empty())
            return Error(word + ": takes no argument");
        Command c;
        c.kind = p.kind;
        return c;
    }
    return Error("unknown command '" + word + "' (try: help)");
}

const char* CommandHelp() {
    return "commands (one per line):\n"
           "  focus TEXT      set the focus mode (e.g. AF-S, MF)\n"
           "  iso TEXT        set the ISO (e.g. 800, AUTO)\n"
           "  iris TEXT       set the aperture (e.g. f/2.8)\n"
           "  shutter TEXT    set the shutter speed (e.g. 1/250)\n"
           "  wb TEXT         set the white balance (e.g. Daylight)\n"
           "  record 0|1      stop or start movie recording\n"
           "  touch H V       focus on point (H, V) of a 1920 x 1080 surface\n"
           "  wait MS         pause the script\n"
           "  unplug, replug  pull or reconnect the simulated camera (--simulate only)\n"
           "  help, quit\n";
}

}  // namespace tools
