// The set requests 9001-9007 as the host publishes them and the camera plug-in takes them: a
// buffer of exactly kRequestPayloadSize bytes holding a NUL-terminated text. Recording on/off and
// the touch point travel as decimal text; the point packs a position on the touch surface into
// one int, horizontal in the high and vertical in the low 16 bits, each signed.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "VirtualEventBus.h"

constexpr EventType kFirstSetEvent = CAMERA_SET_FOCUS_MODE_EVENT;
constexpr EventType kLastSetEvent = CAMERA_TOUCH_FOCUS_EVENT;

constexpr size_t kRequestPayloadSize = 100;
using RequestPayload = std::array<char, kRequestPayloadSize>;

constexpr int kTouchSurfaceWidth = 1920;
constexpr int kTouchSurfaceHeight = 1080;

// Zero-filled buffer with the text, cut to leave room for the NUL.
inline RequestPayload MakePayload(const std::string& text) {
    RequestPayload payload{};
    std::memcpy(payload.data(), text.data(), std::min(text.size(), payload.size() - 1));
    return payload;
}

// The text of a payload: its bytes up to the first NUL, never past the buffer.
inline std::string PayloadText(const void* data) {
    const char* text = static_cast<const char*>(data);
    return std::string(text, strnlen(text, kRequestPayloadSize));
}

inline int PackTouchPoint(int horizontal, int vertical) {
    const uint32_t bits = (static_cast<uint32_t>(static_cast<uint16_t>(horizontal)) << 16) |
                          static_cast<uint32_t>(static_cast<uint16_t>(vertical));
    return static_cast<int>(bits);
}

inline void UnpackTouchPoint(int point, int& horizontal, int& vertical) {
    const uint32_t bits = static_cast<uint32_t>(point);
    horizontal = static_cast<int16_t>(static_cast<uint16_t>(bits >> 16));
    vertical = static_cast<int16_t>(static_cast<uint16_t>(bits & 0xFFFFu));
}
