// Numbers in text, one parser for the plug-ins, the simulator and the tools. The whole forms take
// a text that is the number and nothing else (no blanks, nothing after it); the leading form reads
// the number a text starts with, as a host's decimal payloads are read.
#pragma once

#include <string>

namespace numtext {

// A decimal integer within [min, max]; with `hex`, "0x..." is read as hexadecimal.
bool WholeInteger(const std::string& text, long long min, long long max, long long& out, bool hex = false);
bool WholeInt(const std::string& text, int& out);
// A finite number that a float (or a double) holds.
bool WholeFloat(const std::string& text, float& out);
bool WholeDouble(const std::string& text, double& out);
// The integer at the start of the text: blanks, a sign and digits, then anything; beyond long
// long's range the nearest. False when no digits follow.
bool LeadingInteger(const char* text, long long& out);

}  // namespace numtext
