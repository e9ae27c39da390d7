#include "CanonFamily.h"

#include <algorithm>
#include <limits>

namespace camsim {
namespace ptp {

namespace {

enum Operation : uint16_t {
    kGetStorageIdsEx = 0x9101,
    kGetStorageInfoEx = 0x9102,
    kGetDeviceInfoEx = 0x9108,
    kSetPropValueEx = 0x9110,
    kSetRemoteMode = 0x9114,
    kSetEventMode = 0x9115,
    kGetEvent = 0x9116,
    kPcHddCapacity = 0x911A,
    kKeepDeviceOn = 0x911D,
    kRequestPropValue = 0x9127,
};

// Operations the body takes with a plain OK (modes, locks, release, focus and zoom drives).
constexpr uint16_t kPlainOperations[] = {0x910F, 0x911B, 0x911C, 0x9128, 0x9129, 0x913D, 0x9154,
                                         0x9155, 0x9158, 0x9159, 0x915A, 0x915B, 0x9160};

// Record types of a GetEvent batch.
constexpr uint32_t kRecordValue = 0xC189;
constexpr uint32_t kRecordAllowed = 0xC18A;
constexpr uint32_t kAllowedEnumeration = 3;

// Properties whose meaning the family itself needs.
constexpr uint16_t kAvailableShots = 0xD11B;
constexpr uint16_t kCaptureDestination = 0xD11C;
constexpr uint16_t kRecordStatus = 0xD1B8;
constexpr uint16_t kMovieSwitch = 0xD1C2;
constexpr int64_t kDestinationHost = 4;
constexpr int64_t kRecordToCard = 4;

constexpr int64_t kDefaultBytesPerShot = 30000000;

// Body facts kept over sessions (a session a body keeps open, the dead state after a close).
constexpr const char* kKeptSession = "canon.keptSession";
constexpr const char* kClosedDead = "canon.closedDead";

bool KeepsSession(const Body& b) {
    return b.extra.contains("keepsSession") && b.extra["keepsSession"].is_boolean() &&
           b.extra["keepsSession"].get<bool>();
}

// DeviceInfo's properties are read with the standard operations; every other one only travels
// in GetEvent batches.
bool InBatches(const Body& b, const Property& p) {
    return std::find(b.deviceProperties.begin(), b.deviceProperties.end(), p.code) ==
           b.deviceProperties.end();
}

bool CodeListed(const nlohmann::json& extra, const char* key, uint16_t code) {
    if (!extra.contains(key) || !extra[key].is_array())
        return false;
    for (const nlohmann::json& e : extra[key]) {
        uint32_t c;
        if (e.is_string() && ParseCode(e.get<std::string>(), 0xFFFF, &c) && c == code)
            return true;
    }
    return false;
}

int64_t ExtraNumber(const nlohmann::json& extra, const char* key, int64_t fallback) {
    if (extra.contains(key) && extra[key].is_number_integer())
        return extra[key].get<int64_t>();
    return fallback;
}

int64_t Var(BodyModel& body, const char* key) {
    auto it = body.Ptp().vars.find(key);
    return it == body.Ptp().vars.end() ? 0 : it->second;
}

// What the body sends for a property. While the host is the capture destination the body counts
// shots from the host's capacity, never none (the driver waits for more than zero).
Value WireValue(BodyModel& body, const Property& p) {
    Value v = body.Current(p);
    if (p.code == kAvailableShots && v.num < 1) {
        const Property* dest = body.Find(kCaptureDestination);
        if (dest && body.Current(*dest).num == kDestinationHost)
            v.num = 1;
    }
    return v;
}

// Numbers travel as 4 bytes (8 for the 64-bit types), strings as NUL-terminated ASCII.
void PackWireValue(Packer& out, const Property& p, const Value& v) {
    if (p.type == kString) {
        for (char ch : v.str)
            out.U8(static_cast<uint8_t>(ch));
        out.U8(0);
    } else if (DataTypeSize(p.type) == 8) {
        out.U64(static_cast<uint64_t>(v.num));
    } else {
        out.U32(static_cast<uint32_t>(v.num));
    }
}

void PackValueRecord(Packer& out, const Property& p, const Value& v) {
    size_t start = out.Size();
    out.U32(0);
    out.U32(kRecordValue);
    out.U32(p.code);
    PackWireValue(out, p, v);
    out.PatchU32(start, static_cast<uint32_t>(out.Size() - start));
}

void PackAllowedRecord(Packer& out, const Property& p) {
    size_t start = out.Size();
    out.U32(0);
    out.U32(kRecordAllowed);
    out.U32(p.code);
    out.U32(kAllowedEnumeration);
    out.U32(static_cast<uint32_t>(p.values.size()));
    for (const Value& v : p.values)
        out.U32(static_cast<uint32_t>(v.num));
    out.PatchU32(start, static_cast<uint32_t>(out.Size() - start));
}

// The value in a SetDevicePropValueEx record: after size and code, a number of the property's
// width or a NUL-terminated text.
bool ValueFromRecord(const Property& p, const uint8_t* data, size_t size, Value* v) {
    *v = Value();
    if (p.type == kString) {
        const uint8_t* end = std::find(data, data + size, uint8_t{0});
        if (end == data + size)
            return false;
        v->str.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(end - data));
        return true;
    }
    Unpacker in(data, size);
    return in.Typed(p.type, v);
}

}  // namespace

void CanonFamily::Report(BodyModel& body, uint16_t code) const {
    body.MarkChanged(code);
}

// OpenSession and CloseSession, with the session a keeping body holds for the next driver.
bool CanonFamily::OpenOrClose(Exchange& x) const {
    const Command& c = x.cmd;
    Reply& r = x.reply;
    bool keeps = KeepsSession(x.body.Data());
    auto& vars = x.body.Ptp().vars;
    if (c.code == kOpenSession) {
        uint32_t kept = static_cast<uint32_t>(Var(x.body, kKeptSession));
        if (x.session.open || (keeps && kept != 0)) {
            uint32_t id = x.session.open ? x.session.id : kept;
            r.code = kSessionAlreadyOpen;
            r.params = {id};
            if (!x.session.open) {
                x.session = Session();
                x.session.open = true;
                x.session.id = id;
            }
            return true;
        }
        if (c.Param(0) == 0) {
            r.code = kInvalidParameter;
            return true;
        }
        x.session = Session();
        x.session.open = true;
        x.session.id = c.Param(0);
        if (keeps)
            vars[kKeptSession] = c.Param(0);
        return true;
    }
    // CloseSession
    if (!x.session.open) {
        r.code = kSessionNotOpen;
        return true;
    }
    x.session = Session();
    if (keeps) {
        vars.erase(kKeptSession);
        vars[kClosedDead] = 1;
    }
    return true;
}

bool CanonFamily::Handle(Exchange& x) const {
    const Command& c = x.cmd;
    Reply& r = x.reply;
    const Body& b = x.body.Data();
    if (c.code != kOpenSession && Var(x.body, kClosedDead) != 0) {
        // After a CloseSession these bodies refuse everything until they are plugged again.
        r.code = kOperationNotSupported;
        return true;
    }
    if (c.code == kOpenSession || c.code == kCloseSession)
        return OpenOrClose(x);
    if (c.code == kGetDeviceInfo || !b.Offers(c.code))
        return false;
    if (c.code == kGetDevicePropDesc || c.code == kGetDevicePropValue || c.code == kSetDevicePropValue) {
        // Only DeviceInfo's own properties have standard descriptors.
        const Property* p = c.Param(0) <= 0xFFFF ? b.Find(static_cast<uint16_t>(c.Param(0))) : nullptr;
        if (p && InBatches(b, *p) && x.session.open) {
            r.code = kDevicePropNotSupported;
            return true;
        }
        return false;
    }
    if (c.code < 0x9100)
        return false;
    if (!x.session.open) {
        r.code = kSessionNotOpen;
        return true;
    }
    if (c.code != kGetEvent && c.code != kKeepDeviceOn && c.code != kSetPropValueEx)
        x.body.LogOperation(c);
    switch (c.code) {
        case kGetEvent:
            GetEvent(x);
            return true;
        case kSetPropValueEx:
            SetPropValueEx(x);
            return true;
        case kSetRemoteMode:
            return true;
        case kSetEventMode:
            // Event mode starts with a report of everything.
            if (c.Param(0) != 0)
                x.session.reported.clear();
            return true;
        case kKeepDeviceOn:
            return true;
        case kRequestPropValue: {
            const Property* p = c.Param(0) <= 0xFFFF ? b.Find(static_cast<uint16_t>(c.Param(0))) : nullptr;
            if (!p || !InBatches(b, *p))
                r.code = kGeneralError;
            else
                x.body.MarkChanged(p->code);
            return true;
        }
        case kGetDeviceInfoEx:
            GetDeviceInfoEx(x);
            return true;
        case kGetStorageIdsEx:
            StorageIds(x);
            return true;
        case kGetStorageInfoEx:
            StorageInfo(x);
            return true;
        case kPcHddCapacity:
            HostCapacity(x);
            return true;
        default:
            break;
    }
    if (std::find(std::begin(kPlainOperations), std::end(kPlainOperations), c.code) !=
        std::end(kPlainOperations))
        return true;
    return false;
}

// One batch: values of everything not yet described in this session and of what changed since
// the last batch, then the allowed lists of the properties described for the first time (the
// driver takes a list only after a value), then the terminating record. Nothing new: only the
// terminator.
void CanonFamily::GetEvent(Exchange& x) const {
    const Body& b = x.body.Data();
    std::vector<uint16_t> codes;
    for (const Property& p : b.properties) {
        if (InBatches(b, p) && !x.session.reported.count(p.code))
            codes.push_back(p.code);
    }
    for (uint16_t code : x.body.Ptp().changed) {
        if (std::find(codes.begin(), codes.end(), code) == codes.end())
            codes.push_back(code);
    }
    x.body.Ptp().changed.clear();

    Packer out;
    std::vector<const Property*> described;
    for (uint16_t code : codes) {
        const Property* p = b.Find(code);
        if (!p || !InBatches(b, *p))
            continue;
        PackValueRecord(out, *p, WireValue(x.body, *p));
        if (x.session.reported.insert(code).second)
            described.push_back(p);
    }
    for (const Property* p : described) {
        if (p->form == Property::Form::Enum && !p->values.empty() &&
            !CodeListed(b.extra, "listless", p->code))
            PackAllowedRecord(out, *p);
    }
    out.U32(8);
    out.U32(0);
    x.reply.SetData(out.Take());
}

void CanonFamily::SetPropValueEx(Exchange& x) const {
    Reply& r = x.reply;
    if (!x.dataOut) {
        r.code = kInvalidDevicePropFormat;
        return;
    }
    const std::vector<uint8_t>& data = *x.dataOut;
    Unpacker in(data);
    uint32_t size = 0, code = 0;
    if (!in.U32(&size) || !in.U32(&code) || size < 8 || size > data.size()) {
        r.code = kInvalidDevicePropFormat;
        return;
    }
    const Body& b = x.body.Data();
    const Property* p = code <= 0xFFFF ? b.Find(static_cast<uint16_t>(code)) : nullptr;
    if (!p || !InBatches(b, *p)) {
        r.code = kDevicePropNotSupported;
        return;
    }
    Value v;
    if (!ValueFromRecord(*p, data.data() + 8, size - 8, &v)) {
        r.code = kInvalidDevicePropFormat;
        return;
    }
    x.body.LogSet(p->code, v);
    if (!p->writable) {
        r.code = kAccessDenied;
        return;
    }
    if (!Allowed(*p, v)) {
        r.code = kInvalidDevicePropValue;
        return;
    }
    if (p->code == kRecordStatus && v.num == kRecordToCard) {
        // Recording needs the movie switch.
        const Property* movie = b.Find(kMovieSwitch);
        if (movie && x.body.Current(*movie).num != 1) {
            r.code = kGeneralError;
            return;
        }
    }
    x.body.ChangeAt(p->code, v, x.body.NowMs() + x.body.SettleMs());
}

// Events, the properties that travel in batches, and capture destinations.
void CanonFamily::GetDeviceInfoEx(Exchange& x) const {
    const Body& b = x.body.Data();
    std::vector<uint32_t> events(b.events.begin(), b.events.end());
    std::vector<uint32_t> props;
    for (const Property& p : b.properties) {
        if (InBatches(b, p))
            props.push_back(p.code);
    }
    std::vector<uint32_t> unknown;
    if (b.extra.contains("deviceInfoExUnknown") && b.extra["deviceInfoExUnknown"].is_array()) {
        for (const nlohmann::json& e : b.extra["deviceInfoExUnknown"]) {
            if (e.is_number_unsigned() && e.get<uint64_t>() <= 0xFFFFFFFFu)
                unknown.push_back(static_cast<uint32_t>(e.get<uint64_t>()));
        }
    }
    Packer out;
    out.U32(0);
    out.U32Array(events);
    out.U32Array(props);
    out.U32Array(unknown);
    out.PatchU32(0, static_cast<uint32_t>(out.Size()));
    x.reply.SetData(out.Take());
}

namespace {

struct Storage {
    uint32_t id = 0;
    std::string description;
    uint64_t capacity = 0, free = 0;
};

std::vector<Storage> Storages(const Body& b) {
    std::vector<Storage> list;
    if (!b.extra.contains("storages") || !b.extra["storages"].is_array())
        return list;
    for (const nlohmann::json& e : b.extra["storages"]) {
        Storage s;
        if (!e.is_object() || !e.contains("id") || !e["id"].is_string() ||
            !ParseCode(e["id"].get<std::string>(), 0xFFFFFFFFu, &s.id))
            continue;
        if (e.contains("description") && e["description"].is_string())
            s.description = e["description"].get<std::string>();
        if (e.contains("capacity") && e["capacity"].is_number_unsigned())
            s.capacity = e["capacity"].get<uint64_t>();
        if (e.contains("free") && e["free"].is_number_unsigned())
            s.free = e["free"].get<uint64_t>();
        list.push_back(s);
    }
    return list;
}

}  // namespace

void CanonFamily::StorageIds(Exchange& x) const {
    std::vector<uint32_t> ids;
    for (const Storage& s : Storages(x.body.Data()))
        ids.push_back(s.id);
    Packer out;
    out.U32Array(ids);
    x.reply.SetData(out.Take());
}

// A StorageInfo data set: removable card, DCIM layout, read-write.
void CanonFamily::StorageInfo(Exchange& x) const {
    for (const Storage& s : Storages(x.body.Data())) {
        if (s.id != x.cmd.Param(0))
            continue;
        Packer out;
        out.U16(0x0004);
        out.U16(0x0003);
        out.U16(0x0000);
        out.U64(s.capacity);
        out.U64(s.free);
        out.U32(0xFFFFFFFFu);
        out.String(s.description);
        out.String("");
        x.reply.SetData(out.Take());
        return;
    }
    x.reply.code = kInvalidStorageId;
}

// The host announces its free space (clusters, cluster size): with the host as destination the
// body counts the shots that fit there.
void CanonFamily::HostCapacity(Exchange& x) const {
    const Property* shots = x.body.Find(kAvailableShots);
    if (!shots)
        return;
    int64_t perShot =
        std::max<int64_t>(1, ExtraNumber(x.body.Data().extra, "bytesPerShot", kDefaultBytesPerShot));
    uint64_t bytes = static_cast<uint64_t>(x.cmd.Param(0)) * x.cmd.Param(1);
    int64_t count = static_cast<int64_t>(bytes / static_cast<uint64_t>(perShot));
    count = std::min<int64_t>(std::max<int64_t>(count, 1), std::numeric_limits<int32_t>::max());
    Value v;
    v.num = count;
    x.body.Change(kAvailableShots, v);
}

const Family& CanonFamilyInstance() {
    static const CanonFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
