#include "PtpData.h"

#include "NumberText.h"

#include <cstdio>

namespace camsim {
namespace ptp {

namespace {
struct TypeName {
    uint16_t type;
    const char* name;
    size_t size;
};
const TypeName kTypes[] = {
    {kInt8, "int8", 1},     {kUint8, "uint8", 1},   {kInt16, "int16", 2},
    {kUint16, "uint16", 2}, {kInt32, "int32", 4},   {kUint32, "uint32", 4},
    {kInt64, "int64", 8},   {kUint64, "uint64", 8}, {kString, "string", 0},
};
}  // namespace

bool DataTypeFromName(const std::string& name, uint16_t* out) {
    for (const TypeName& t : kTypes) {
        if (name == t.name) {
            *out = t.type;
            return true;
        }
    }
    return false;
}

const char* DataTypeName(uint16_t type) {
    for (const TypeName& t : kTypes) {
        if (t.type == type)
            return t.name;
    }
    return "unknown";
}

size_t DataTypeSize(uint16_t type) {
    for (const TypeName& t : kTypes) {
        if (t.type == type)
            return t.size;
    }
    return 0;
}

void Packer::U16(uint16_t v) {
    m_out.push_back(static_cast<uint8_t>(v));
    m_out.push_back(static_cast<uint8_t>(v >> 8));
}

void Packer::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
}

void Packer::U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
}

void Packer::String(const std::string& text) {
    if (text.empty()) {
        U8(0);
        return;
    }
    // Bodies' strings are ASCII; a PTP string holds at most 255 units with the terminator.
    size_t n = text.size() > 254 ? 254 : text.size();
    U8(static_cast<uint8_t>(n + 1));
    for (size_t i = 0; i < n; ++i)
        U16(static_cast<uint8_t>(text[i]));
    U16(0);
}

void Packer::U16Array(const std::vector<uint16_t>& values) {
    U32(static_cast<uint32_t>(values.size()));
    for (uint16_t v : values)
        U16(v);
}

void Packer::U32Array(const std::vector<uint32_t>& values) {
    U32(static_cast<uint32_t>(values.size()));
    for (uint32_t v : values)
        U32(v);
}

void Packer::Typed(uint16_t type, const Value& v) {
    switch (DataTypeSize(type)) {
        case 1:
            U8(static_cast<uint8_t>(v.num));
            break;
        case 2:
            U16(static_cast<uint16_t>(v.num));
            break;
        case 4:
            U32(static_cast<uint32_t>(v.num));
            break;
        case 8:
            U64(static_cast<uint64_t>(v.num));
            break;
        default:
            String(v.str);
            break;
    }
}

void Packer::PatchU32(size_t offset, uint32_t v) {
    if (offset + 4 > m_out.size())
        return;
    for (int i = 0; i < 4; ++i)
        m_out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool Unpacker::Take(size_t n, const uint8_t** p) {
    if (!m_ok || m_size - m_pos < n) {
        m_ok = false;
        return false;
    }
    *p = m_data + m_pos;
    m_pos += n;
    return true;
}

bool Unpacker::U8(uint8_t* v) {
    const uint8_t* p;
    if (!Take(1, &p))
        return false;
    *v = p[0];
    return true;
}

bool Unpacker::U16(uint16_t* v) {
    const uint8_t* p;
    if (!Take(2, &p))
        return false;
    *v = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool Unpacker::U32(uint32_t* v) {
    const uint8_t* p;
    if (!Take(4, &p))
        return false;
    *v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
    return true;
}

bool Unpacker::U64(uint64_t* v) {
    uint32_t lo, hi;
    if (!U32(&lo) || !U32(&hi))
        return false;
    *v = static_cast<uint64_t>(hi) << 32 | lo;
    return true;
}

bool Unpacker::String(std::string* text) {
    uint8_t units;
    if (!U8(&units))
        return false;
    text->clear();
    for (uint8_t i = 0; i < units; ++i) {
        uint16_t c;
        if (!U16(&c))
            return false;
        if (c == 0)
            continue;
        text->push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return true;
}

bool Unpacker::Typed(uint16_t type, Value* v) {
    *v = Value();
    switch (type) {
        case kInt8: {
            uint8_t x;
            if (!U8(&x))
                return false;
            v->num = static_cast<int8_t>(x);
            return true;
        }
        case kUint8: {
            uint8_t x;
            if (!U8(&x))
                return false;
            v->num = x;
            return true;
        }
        case kInt16: {
            uint16_t x;
            if (!U16(&x))
                return false;
            v->num = static_cast<int16_t>(x);
            return true;
        }
        case kUint16: {
            uint16_t x;
            if (!U16(&x))
                return false;
            v->num = x;
            return true;
        }
        case kInt32: {
            uint32_t x;
            if (!U32(&x))
                return false;
            v->num = static_cast<int32_t>(x);
            return true;
        }
        case kUint32: {
            uint32_t x;
            if (!U32(&x))
                return false;
            v->num = x;
            return true;
        }
        case kInt64:
        case kUint64: {
            uint64_t x;
            if (!U64(&x))
                return false;
            v->num = static_cast<int64_t>(x);
            return true;
        }
        case kString:
            return String(&v->str);
        default:
            m_ok = false;
            return false;
    }
}

bool ParseCode(const std::string& text, uint32_t max, uint32_t* out) {
    long long v = 0;
    if (!numtext::WholeInteger(text, 0, max, v, true))
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

std::string HexCode(uint32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", code);
    return buf;
}

}  // namespace ptp
}  // namespace camsim
