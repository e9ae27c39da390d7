// PTP on the wire: container types, response codes, data types and little-endian packing.
// Codes and layouts as in the PTP standard (ISO 15740) and libgphoto2's camlibs/ptp2/ptp.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim {
namespace ptp {

enum ContainerType : uint16_t { kCommand = 1, kData = 2, kResponse = 3, kEvent = 4 };
constexpr size_t kHeaderSize = 12;

// Response codes a body answers with.
enum Response : uint16_t {
    kOk = 0x2001,
    kGeneralError = 0x2002,
    kSessionNotOpen = 0x2003,
    kInvalidTransactionId = 0x2004,
    kOperationNotSupported = 0x2005,
    kParameterNotSupported = 0x2006,
    kInvalidStorageId = 0x2008,
    kInvalidObjectHandle = 0x2009,
    kDevicePropNotSupported = 0x200A,
    kStoreNotAvailable = 0x2013,
    kDeviceBusy = 0x2019,
    kInvalidDevicePropFormat = 0x201B,
    kInvalidDevicePropValue = 0x201C,
    kInvalidParameter = 0x201D,
    kSessionAlreadyOpen = 0x201E,
    kAccessDenied = 0x200F,
};

// Standard operations the emulator and the families answer.
enum StandardOperation : uint16_t {
    kGetDeviceInfo = 0x1001,
    kOpenSession = 0x1002,
    kCloseSession = 0x1003,
    kGetStorageIds = 0x1004,
    kGetStorageInfo = 0x1005,
    kGetNumObjects = 0x1006,
    kGetObjectHandles = 0x1007,
    kGetDevicePropDesc = 0x1014,
    kGetDevicePropValue = 0x1015,
    kSetDevicePropValue = 0x1016,
};

// Standard events.
enum Event : uint16_t {
    kEventObjectAdded = 0x4002,
    kEventDevicePropChanged = 0x4006,
};

// Data type codes (DTC).
enum DataType : uint16_t {
    kInt8 = 0x0001,
    kUint8 = 0x0002,
    kInt16 = 0x0003,
    kUint16 = 0x0004,
    kInt32 = 0x0005,
    kUint32 = 0x0006,
    kInt64 = 0x0007,
    kUint64 = 0x0008,
    kString = 0xFFFF,
};

// "uint16" <-> kUint16 and so on; false for unknown names.
bool DataTypeFromName(const std::string& name, uint16_t* out);
const char* DataTypeName(uint16_t type);
// Bytes of one value of the type on the wire (0 for strings).
size_t DataTypeSize(uint16_t type);

// One property value: a number for the integer types, a text for strings.
struct Value {
    int64_t num = 0;
    std::string str;
    bool operator==(const Value& o) const { return num == o.num && str == o.str; }
    bool operator!=(const Value& o) const { return !(*this == o); }
};

// Appends little-endian data as PTP lays it out.
class Packer {
  public:
    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void U64(uint64_t v);
    // PTP string: a count of UTF-16 units including the terminating 0, then the units; "" is one 0 byte.
    void String(const std::string& text);
    void U16Array(const std::vector<uint16_t>& values);
    void U32Array(const std::vector<uint32_t>& values);
    // A value of the data type (integers truncated to its width).
    void Typed(uint16_t type, const Value& v);
    void Bytes(const std::vector<uint8_t>& bytes) { m_out.insert(m_out.end(), bytes.begin(), bytes.end()); }
    // Overwrites 4 bytes at offset (for lengths known only at the end).
    void PatchU32(size_t offset, uint32_t v);

    size_t Size() const { return m_out.size(); }
    const std::vector<uint8_t>& Data() const { return m_out; }
    std::vector<uint8_t> Take() { return std::move(m_out); }

  private:
    std::vector<uint8_t> m_out;
};

// Reads little-endian data; every read past the end fails and leaves the reader failed.
class Unpacker {
  public:
    Unpacker(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit Unpacker(const std::vector<uint8_t>& data) : Unpacker(data.data(), data.size()) {}

    bool U8(uint8_t* v);
    bool U16(uint16_t* v);
    bool U32(uint32_t* v);
    bool U64(uint64_t* v);
    bool String(std::string* text);
    bool Typed(uint16_t type, Value* v);
    size_t Remaining() const { return m_size - m_pos; }
    bool Ok() const { return m_ok; }

  private:
    bool Take(size_t n, const uint8_t** p);
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

// A command as the initiator sent it.
struct Command {
    uint16_t code = 0;
    uint32_t transaction = 0;
    std::vector<uint32_t> params;
    uint32_t Param(size_t i) const { return i < params.size() ? params[i] : 0; }
};

// What the body answers: an optional data phase, then the response.
struct Reply {
    uint16_t code = kOk;
    std::vector<uint32_t> params;
    bool hasData = false;
    std::vector<uint8_t> data;

    void SetData(std::vector<uint8_t> bytes) {
        hasData = true;
        data = std::move(bytes);
    }
    void Fail(uint16_t response) {
        code = response;
        hasData = false;
        data.clear();
    }
};

// "0xD21E" / "53790" -> number; false for anything else or out of [0, max].
bool ParseCode(const std::string& text, uint32_t max, uint32_t* out);
// 0xD21E -> "0xD21E" (4 hex digits at least, upper case).
std::string HexCode(uint32_t code);

}  // namespace ptp
}  // namespace camsim
