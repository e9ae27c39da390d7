// The set requests 9001-9007 as a host packs them: a 100-byte buffer holding a NUL-terminated
// text. camera-host and the web remote both publish through these.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "VirtualEventBus.h"

namespace tools {

constexpr size_t kRequestPayloadSize = 100;
using RequestPayload = std::array<char, kRequestPayloadSize>;

// The touch-focus surface the plug-in scales from.
constexpr int kTouchSurfaceWidth = 1920;
constexpr int kTouchSurfaceHeight = 1080;

// A setting set by text, as the host's commands and the web API name it.
struct TextSetting {
    const char* name;  // "focus", "iso", "iris", "shutter", "wb"
    EventType event;
};
extern const TextSetting kTextSettings[5];
// The setting called `name`, or null.
const TextSetting* FindTextSetting(const std::string& name);
// "focus, iso, iris, shutter, wb"
std::string TextSettingNames();

// Zero-filled buffer with the text; the text must be shorter than the buffer.
RequestPayload MakePayload(const std::string& text);
// The point as the plug-in expects it: horizontal in the high, vertical in the low 16 bits.
int PackTouchPoint(int horizontal, int vertical);

}  // namespace tools
