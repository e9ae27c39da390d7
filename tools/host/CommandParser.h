// One line of camera-host input turned into what the host should do.
#pragma once

#include <string>

#include "SetRequest.h"
#include "VirtualEventBus.h"

namespace tools {

struct Command {
    enum class Kind { Empty, Publish, Wait, Help, Quit, Unplug, Replug, Error };
    Kind kind = Kind::Empty;
    EventType event = CAMERA_SET_ISO_EVENT;
    std::string text;  // payload text to publish, or the error message
    int waitMs = 0;
};

Command ParseCommand(const std::string& line);
const char* CommandHelp();

}  // namespace tools
