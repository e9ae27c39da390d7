// One line of camera-host input turned into what the host should do.
#pragma once

#include <array>
#include <string>

#include "VirtualEventBus.h"

namespace tools {

struct Command {
    enum class Kind { Empty, Publish, Wait, Help, Quit, Unplug, Replug, Error };
    Kind kind = Kind::Empty;
    EventType event = CAMERA_SET_ISO_EVENT;
    std::string text;  // payload text to publish, or the error message
    int waitMs = 0;
};

// The set requests carry a 100-byte buffer holding a NUL-terminated text.
constexpr size_t kRequestPayloadSize = 100;
using RequestPayload = std::array<char, kRequestPayloadSize>;

Command ParseCommand(const std::string& line);
// Zero-filled buffer with the text; the text must be shorter than the buffer.
RequestPayload MakePayload(const std::string& text);
// The point as the plug-in expects it: horizontal in the high, vertical in the low 16 bits.
int PackTouchPoint(int horizontal, int vertical);

const char* CommandHelp();

}  // namespace tools
