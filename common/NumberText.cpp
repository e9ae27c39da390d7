#include "NumberText.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace numtext {

namespace {

// strto* skip leading blanks; a whole number has none.
bool StartsWithNumber(const std::string& text) {
    return !text.empty() && !std::isspace(static_cast<unsigned char>(text[0]));
}

}  // namespace

bool WholeInteger(const std::string& text, long long min, long long max, long long& out, bool hex) {
    if (!StartsWithNumber(text)) {
        return false;
    }
    const bool hexText = hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, hexText ? 16 : 10);
    if (*end != '\0' || errno == ERANGE || value < min || value > max) {
        return false;
    }
    out = value;
    return true;
}

bool WholeInt(const std::string& text, int& out) {
    long long value = 0;
    if (!WholeInteger(text, INT_MIN, INT_MAX, value)) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool WholeFloat(const std::string& text, float& out) {
    if (!StartsWithNumber(text)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

bool WholeDouble(const std::string& text, double& out) {
    if (!StartsWithNumber(text)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

bool LeadingInteger(const char* text, long long& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace numtext
