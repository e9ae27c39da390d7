#include "EventCodec.h"

#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-filesys.h>

#include <strings.h>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "NumberText.h"

namespace camsim {

namespace {

struct DriverBlock {
    int type;
    std::size_t size;
    const char* what;
};
const DriverBlock kDriverBlocks[] = {
    {10, 24, "the recording state at bytes 20 to 23"},
    {11, 4, "the aperture x100 at bytes 0 to 3"},
    {12, 4, "the white-balance code at bytes 0 to 3"},
    {13, 4, "the ISO value at bytes 0 to 3"},
    {15, 4, "the focus-mode code at bytes 0 to 3"},
    {16, 8, "the shutter speed's numerator and denominator at bytes 0 to 7"},
    {17, 2, "the exposure-program code at bytes 0 and 1"},
};

// Value ranges of the encodings: a 32-bit field holds int32 or uint32 values (ISO is
// unsigned), the record state is int32, a program code uint16.
constexpr int64_t kInt32Min = INT32_MIN;
constexpr int64_t kInt32Max = INT32_MAX;
constexpr int64_t kUint32Max = UINT32_MAX;
constexpr int64_t kUint16Max = UINT16_MAX;

void Put32(std::vector<uint8_t>* out, size_t at, int32_t v) {
    std::memcpy(out->data() + at, &v, sizeof v);
}

// Decimal, or hexadecimal with "0x".
bool ParseLong(const std::string& text, int64_t* out) {
    long long v = 0;
    if (!numtext::WholeInteger(text, LLONG_MIN, LLONG_MAX, v, true))
        return false;
    *out = v;
    return true;
}

bool ParseDouble(const std::string& text, double* out) {
    return numtext::WholeDouble(text, *out);
}

// A decimal text as a fraction with a power-of-ten denominator: "2.5" -> 25/10, "1.3" -> 13/10.
// At most six decimals, so the denominator stays within 10^6.
bool DecimalFraction(const std::string& text, int64_t* num, int64_t* den) {
    const size_t kMaxDecimals = 6;
    size_t dot = text.find('.');
    std::string digits = text;
    *den = 1;
    if (dot != std::string::npos) {
        if (text.size() - dot - 1 > kMaxDecimals)
            return false;
        digits = text.substr(0, dot) + text.substr(dot + 1);
        for (size_t i = dot + 1; i < text.size(); ++i)
            *den *= 10;
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return ParseLong(digits, num) && *num <= INT32_MAX;
}

// A code or number within [low, high].
bool EncodeNumber(const EventReaction& reaction, const std::string& value, int64_t low, int64_t high,
                  int64_t* out) {
    auto code = reaction.codes.find(value);
    if (code != reaction.codes.end())
        *out = code->second;
    else if (!ParseLong(value, out))
        return false;
    return *out >= low && *out <= high;
}

}  // namespace

std::size_t DriverBlockSize(int type, const char** what) {
    for (const DriverBlock& b : kDriverBlocks) {
        if (b.type == type) {
            if (what)
                *what = b.what;
            return b.size;
        }
    }
    return 0;
}

std::string CheckDriverBlock(int type, const std::vector<uint8_t>& data) {
    const char* what = "";
    std::size_t size = DriverBlockSize(type, &what);
    if (data.size() >= size)
        return "";
    return "event type " + std::to_string(type) + " needs a data block of at least " + std::to_string(size) +
           " bytes (the receiver reads " + what + "), not " + std::to_string(data.size());
}

std::vector<uint8_t> RecordBlock(int32_t state) {
    std::vector<uint8_t> out(24, 0);
    Put32(&out, 20, state);
    return out;
}

std::vector<uint8_t> Int32Block(int32_t value) {
    std::vector<uint8_t> out(4, 0);
    Put32(&out, 0, value);
    return out;
}

std::vector<uint8_t> ShutterBlock(int32_t numerator, int32_t denominator) {
    std::vector<uint8_t> out(8, 0);
    Put32(&out, 0, numerator);
    Put32(&out, 4, denominator);
    return out;
}

std::vector<uint8_t> ModeBlock(uint16_t code) {
    std::vector<uint8_t> out(sizeof code, 0);
    std::memcpy(out.data(), &code, sizeof code);
    return out;
}

std::vector<uint8_t> StandardBlock(int gpEventType, const std::string& text) {
    switch (gpEventType) {
        case GP_EVENT_FILE_ADDED:
        case GP_EVENT_FOLDER_ADDED:
        case GP_EVENT_FILE_CHANGED: {
            CameraFilePath path;
            std::memset(&path, 0, sizeof path);
            size_t slash = text.rfind('/');
            std::string folder = slash == std::string::npos ? "/" : text.substr(0, slash);
            std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
            if (folder.empty())
                folder = "/";
            std::strncpy(path.folder, folder.c_str(), sizeof path.folder - 1);
            std::strncpy(path.name, name.c_str(), sizeof path.name - 1);
            std::vector<uint8_t> out(sizeof path);
            std::memcpy(out.data(), &path, sizeof path);
            return out;
        }
        case GP_EVENT_UNKNOWN: {
            std::vector<uint8_t> out(text.begin(), text.end());
            out.push_back(0);
            return out;
        }
        default:
            return {};
    }
}

bool ParseShutter(const std::string& text, int32_t* numerator, int32_t* denominator) {
    if (strcasecmp(text.c_str(), "bulb") == 0) {
        *numerator = *denominator = 65535;
        return true;
    }
    if (strcasecmp(text.c_str(), "time") == 0) {
        *numerator = 65535;
        *denominator = 65533;
        return true;
    }
    std::string t = text;
    if (!t.empty() && (t.back() == 's' || t.back() == '"'))
        t.pop_back();
    size_t slash = t.find('/');
    int64_t num = 0, den = 0;
    if (slash == std::string::npos) {
        if (!DecimalFraction(t, &num, &den))
            return false;
    } else {
        int64_t a = 0, ad = 0, b = 0, bd = 0;
        if (!DecimalFraction(t.substr(0, slash), &a, &ad) || !DecimalFraction(t.substr(slash + 1), &b, &bd)) {
            return false;
        }
        // a/ad divided by b/bd
        num = a * bd;
        den = b * ad;
        if (num > INT32_MAX || den > INT32_MAX)
            return false;
    }
    *numerator = static_cast<int32_t>(num);
    *denominator = static_cast<int32_t>(den);
    return true;
}

bool ParseAperture(const std::string& text, int32_t* hundredths) {
    std::string t = text;
    if (t.rfind("f/", 0) == 0 || t.rfind("F/", 0) == 0)
        t = t.substr(2);
    double v = 0;
    if (!ParseDouble(t, &v) || v <= 0 || v > 1000)
        return false;
    *hundredths = static_cast<int32_t>(std::lround(v * 100));
    return true;
}

bool EventForChange(const Widget& w, const std::string& value, int* type, std::vector<uint8_t>* data) {
    const EventReaction& reaction = w.event;
    if (reaction.mode == EventReaction::Mode::None)
        return false;
    if (reaction.mode == EventReaction::Mode::Typed) {
        int64_t n = 0;
        int32_t a = 0, b = 0;
        bool ok = false;
        const std::string& enc = reaction.encode;
        if (enc == "record") {
            ok = EncodeNumber(reaction, value, kInt32Min, kInt32Max, &n);
            if (ok)
                *data = RecordBlock(static_cast<int32_t>(n));
        } else if (enc == "aperture") {
            auto code = reaction.codes.find(value);
            if (code != reaction.codes.end()) {
                ok = code->second >= kInt32Min && code->second <= kInt32Max;
                a = ok ? static_cast<int32_t>(code->second) : 0;
            } else {
                ok = ParseAperture(value, &a);
            }
            if (ok)
                *data = Int32Block(a);
        } else if (enc == "shutter") {
            ok = ParseShutter(value, &a, &b);
            if (ok)
                *data = ShutterBlock(a, b);
        } else if (enc == "uint16" || enc == "low16") {
            // low16: a 32-bit program value whose low half is the code
            ok = enc == "uint16" ? EncodeNumber(reaction, value, 0, kUint16Max, &n)
                                 : EncodeNumber(reaction, value, kInt32Min, kUint32Max, &n);
            if (ok)
                *data = ModeBlock(static_cast<uint16_t>(static_cast<uint32_t>(n) & 0xFFFF));
        } else if (enc == "text") {
            *data = StandardBlock(GP_EVENT_UNKNOWN, value);
            ok = true;
        } else {  // "int32" and the default
            ok = EncodeNumber(reaction, value, kInt32Min, kUint32Max, &n);
            if (ok)
                *data = Int32Block(static_cast<int32_t>(static_cast<uint32_t>(n)));
        }
        if (ok && data->size() < DriverBlockSize(reaction.type))
            ok = false;
        if (ok) {
            *type = reaction.type;
            return true;
        }
    }
    *type = GP_EVENT_UNKNOWN;
    *data = StandardBlock(GP_EVENT_UNKNOWN,
                          "PTP Property " + (w.property.empty() ? w.name : w.property) + " changed");
    return true;
}

}  // namespace camsim
