// The settings a host sets by name, as camera-host's commands and the web API name them; the
// requests themselves are the bus contract of SetRequests.h.
#pragma once

#include <string>

#include "SetRequests.h"

namespace tools {

using ::kRequestPayloadSize;
using ::kTouchSurfaceHeight;
using ::kTouchSurfaceWidth;
using ::MakePayload;
using ::PackTouchPoint;
using ::RequestPayload;

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

}  // namespace tools
