// Data blocks of the camera events, as wait_for_event hands them to the receiver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CameraState.h"

namespace camsim {

// The receiver gets no block size from libgphoto2 and reads the driver events' blocks at fixed
// sizes: 10: 24 bytes (state at byte 20), 11, 12, 13, 15: 4, 16: 8, 17: 2. A shorter block
// would be read past its end. Returns that size for types 10..17 (0 for the others) and,
// when what is given, what the receiver reads there.
std::size_t DriverBlockSize(int type, const char** what = nullptr);
// An error text when data is too short for the driver event type, else "".
std::string CheckDriverBlock(int type, const std::vector<uint8_t>& data);

std::vector<uint8_t> RecordBlock(int32_t state);  // type 10: 24 bytes, state at byte 20
std::vector<uint8_t> Int32Block(int32_t value);   // types 11, 12, 13 (as uint32), 15
std::vector<uint8_t> ShutterBlock(int32_t numerator, int32_t denominator);  // type 16
std::vector<uint8_t> ModeBlock(uint16_t code);                              // type 17
// Standard events: a NUL-terminated text for GP_EVENT_UNKNOWN, a CameraFilePath for the
// file and folder events (text "folder/name"), nothing for the others.
std::vector<uint8_t> StandardBlock(int gpEventType, const std::string& text);

// "1/250" -> 1,250; "2.5" -> 25,10; "30" -> 30,1; "1/1.3" -> 10,13; "Bulb" -> 65535,65535.
bool ParseShutter(const std::string& text, int32_t* numerator, int32_t* denominator);
// "f/2.8" or "2.8" -> 280.
bool ParseAperture(const std::string& text, int32_t* hundredths);

// The event a change of widget w to value raises. Returns false when the widget raises none.
// A typed event whose value cannot be encoded (no number, out of the encoding's range, a block
// shorter than the driver's size) falls back to the standard property event.
bool EventForChange(const Widget& w, const std::string& value, int* type, std::vector<uint8_t>* data);

}  // namespace camsim
