#include "SonyFamily.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace camsim {
namespace ptp {

namespace {

enum SonyOperation : uint16_t {
    kSdioConnect = 0x9201,
    kGetExtDeviceInfo = 0x9202,
    kSetControlDeviceA = 0x9205,
    kSetControlDeviceB = 0x9207,
    kGetAllDevicePropData = 0x9209,
};

constexpr uint16_t kPropertyChanged = 0xC203;
// The extension version a body speaks unless its data says more; the driver asks for the one it
// knows and the body answers with the lower of the two.
constexpr int64_t kBaseVersion = 200;
// From this version on a descriptor carries a second enumeration: all values the body can show
// after the ones it takes now.
constexpr int64_t kTwoListVersion = 300;

using nlohmann::json;

// The family's part of the body data ("sony" in the body file); every key is optional.
struct SonyData {
    int64_t maxVersion = kBaseVersion;
    std::vector<uint16_t> stepped{0x5007, 0xD21E, 0xD20D};  // moved only by relative steps
    std::vector<uint16_t> buttons{0xD2C1, 0xD2C2, 0xD2C3, 0xD2C4, 0xD2C7, 0xD2C8, 0xD2C9, 0xD2CA};
    std::vector<uint16_t> unlisted;                     // described nowhere on the wire
    std::vector<std::pair<uint16_t, uint16_t>> linked;  // two codes showing one setting
    uint16_t movieButton = 0xD2C8;
    uint16_t recordingState = 0xD21D;
    int64_t recording = 1, idle = 0;
    const json* notches = nullptr;      // code -> the order a step walks
    const json* setLists = nullptr;     // code -> the values the body takes now, where not all of "values"
    const json* rangeOnWire = nullptr;  // code -> [min, max, step] a body describes instead of its list
};

bool CodeOf(const json& j, uint16_t* out) {
    uint32_t code;
    if (j.is_string() && ParseCode(j.get<std::string>(), 0xFFFF, &code)) {
        *out = static_cast<uint16_t>(code);
        return true;
    }
    if (j.is_number_unsigned() && j.get<uint64_t>() <= 0xFFFF) {
        *out = static_cast<uint16_t>(j.get<uint64_t>());
        return true;
    }
    return false;
}

void CodesOf(const json& obj, const char* key, std::vector<uint16_t>* out) {
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_array())
        return;
    out->clear();
    for (const json& c : *it) {
        uint16_t code;
        if (CodeOf(c, &code))
            out->push_back(code);
    }
}

SonyData ReadData(const Body& body) {
    SonyData d;
    const json& e = body.extra;
    if (!e.is_object())
        return d;
    if (e.contains("maxVersion") && e["maxVersion"].is_number_integer())
        d.maxVersion = e["maxVersion"].get<int64_t>();
    CodesOf(e, "stepped", &d.stepped);
    CodesOf(e, "buttons", &d.buttons);
    CodesOf(e, "unlisted", &d.unlisted);
    if (e.contains("linked") && e["linked"].is_array()) {
        for (const json& pair : e["linked"]) {
            uint16_t a, b;
            if (pair.is_array() && pair.size() == 2 && CodeOf(pair[0], &a) && CodeOf(pair[1], &b))
                d.linked.emplace_back(a, b);
        }
    }
    if (e.contains("movie") && e["movie"].is_object()) {
        const json& m = e["movie"];
        if (m.contains("button"))
            CodeOf(m["button"], &d.movieButton);
        if (m.contains("state"))
            CodeOf(m["state"], &d.recordingState);
        if (m.contains("recording") && m["recording"].is_number_integer())
            d.recording = m["recording"].get<int64_t>();
        if (m.contains("idle") && m["idle"].is_number_integer())
            d.idle = m["idle"].get<int64_t>();
    }
    if (e.contains("notches") && e["notches"].is_object())
        d.notches = &e["notches"];
    if (e.contains("setLists") && e["setLists"].is_object())
        d.setLists = &e["setLists"];
    if (e.contains("rangeOnWire") && e["rangeOnWire"].is_object())
        d.rangeOnWire = &e["rangeOnWire"];
    return d;
}

bool Contains(const std::vector<uint16_t>& codes, uint16_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// A list of numbers kept under the property's code ("0xD21E") in one of the family's maps.
bool NumbersFor(const json* map, uint16_t code, std::vector<Value>* out) {
    if (!map)
        return false;
    for (auto it = map->begin(); it != map->end(); ++it) {
        uint32_t key;
        if (!ParseCode(it.key(), 0xFFFF, &key) || key != code || !it.value().is_array())
            continue;
        out->clear();
        for (const json& n : it.value()) {
            Value v;
            if (n.is_number_integer())
                v.num = n.get<int64_t>();
            else if (n.is_number_unsigned() && n.get<uint64_t>() <= static_cast<uint64_t>(INT64_MAX))
                v.num = static_cast<int64_t>(n.get<uint64_t>());
            else
                continue;
            out->push_back(v);
        }
        return true;
    }
    return false;
}

// The enumeration the body offers for setting now (the first list of a descriptor).
std::vector<Value> SetList(const SonyData& d, const Property& p) {
    std::vector<Value> list;
    if (!NumbersFor(d.setLists, p.code, &list))
        list = p.values;
    return list;
}

// The order a relative step walks: the family's notches, else the settable enumeration, else
// all values the body shows (a body may offer none for setting and still step through them).
std::vector<Value> Notches(const SonyData& d, const Property& p) {
    std::vector<Value> list;
    if (NumbersFor(d.notches, p.code, &list))
        return list;
    if (p.form != Property::Form::Enum)
        return list;
    list = SetList(d, p);
    return list.empty() ? p.values : list;
}

bool Listed(const SonyData& d, const Property& p) {
    return !Contains(d.unlisted, p.code);
}

bool IsControl(uint16_t code) {
    return (code >= 0xD2C1 && code <= 0xD2FF) || code >= 0xD300;
}

void PackRecord(Packer& out, const SonyData& d, const Property& p, const Value& current, int64_t version) {
    out.U16(p.code);
    out.U16(p.type);
    out.U8(p.writable ? 1 : 0);
    out.U8(p.enabledByte);
    out.Typed(p.type, p.factory);
    out.Typed(p.type, current);
    std::vector<Value> range;
    if (p.type != kString && NumbersFor(d.rangeOnWire, p.code, &range) && range.size() == 3) {
        out.U8(static_cast<uint8_t>(Property::Form::Range));
        for (const Value& v : range)
            out.Typed(p.type, v);
        return;
    }
    out.U8(static_cast<uint8_t>(p.type == kString ? Property::Form::None : p.form));
    if (p.type == kString)
        return;
    if (p.form == Property::Form::Range) {
        out.Typed(p.type, p.min);
        out.Typed(p.type, p.max);
        out.Typed(p.type, p.step);
    } else if (p.form == Property::Form::Enum) {
        std::vector<Value> now = SetList(d, p);
        out.U16(static_cast<uint16_t>(now.size()));
        for (const Value& v : now)
            out.Typed(p.type, v);
        if (version >= kTwoListVersion) {
            out.U16(static_cast<uint16_t>(p.values.size()));
            for (const Value& v : p.values)
                out.Typed(p.type, v);
        }
    }
}

int64_t Version(const Session& s) {
    auto it = s.vars.find("version");
    return it == s.vars.end() ? kBaseVersion : it->second;
}

void SdioConnect(Exchange& x) {
    uint32_t phase = x.cmd.Param(0);
    if (phase < 1 || phase > 3) {
        x.reply.code = kParameterNotSupported;
        return;
    }
    x.session.vars["sdio"] = phase;
    // A new connection starts with no change reports from before it.
    if (phase == 1)
        x.body.Ptp().interrupts.clear();
    x.reply.SetData(std::vector<uint8_t>(8, 0));
}

void GetExtDeviceInfo(Exchange& x, const SonyData& d) {
    int64_t asked = x.cmd.Param(0) ? x.cmd.Param(0) : kBaseVersion;
    int64_t version = std::min(asked, d.maxVersion);
    x.session.vars["version"] = version;
    std::vector<uint16_t> settings, controls;
    for (const Property& p : x.body.Data().properties) {
        if (!Listed(d, p))
            continue;
        (IsControl(p.code) ? controls : settings).push_back(p.code);
    }
    Packer out;
    out.U16(static_cast<uint16_t>(version));
    out.U16Array(settings);
    out.U16Array(controls);
    x.reply.SetData(out.Take());
}

void GetAllDevicePropData(Exchange& x, const SonyData& d) {
    Packer out;
    out.U32(0);  // the count, patched below
    out.U32(0);
    uint32_t count = 0;
    int64_t version = Version(x.session);
    for (const Property& p : x.body.Data().properties) {
        if (!Listed(d, p))
            continue;
        PackRecord(out, d, p, x.body.Current(p), version);
        ++count;
    }
    out.PatchU32(0, count);
    x.reply.SetData(out.Take());
}

bool ValueInList(const std::vector<Value>& list, const Value& v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

// The property a control names, when the body lists it; else the answer says it is not supported.
const Property* ListedProperty(Exchange& x, const SonyData& d) {
    const Property* p =
        x.cmd.Param(0) > 0xFFFF ? nullptr : x.body.Find(static_cast<uint16_t>(x.cmd.Param(0)));
    if (!p || !Listed(d, *p)) {
        x.body.LogOperation(x.cmd);  // what the driver tried shows in the received log too
        x.reply.code = kDevicePropNotSupported;
        return nullptr;
    }
    return p;
}

void SetAbsolute(Exchange& x, const SonyData& d) {
    if (!x.dataOut) {
        x.reply.code = kInvalidDevicePropFormat;
        return;
    }
    const Property* p = ListedProperty(x, d);
    if (!p)
        return;
    Unpacker in(*x.dataOut);
    Value v;
    if (!in.Typed(p->type, &v)) {
        x.reply.code = kInvalidDevicePropFormat;
        return;
    }
    x.body.LogSet(p->code, v);
    // The driver follows every stepped set with an absolute one of the target; the body
    // answers it and stays where the steps took it.
    if (Contains(d.stepped, p->code))
        return;
    if (p->enabledByte != 1) {
        x.reply.code = kAccessDenied;
        return;
    }
    bool allowed = true;
    if (p->form == Property::Form::Enum) {
        std::vector<Value> now = SetList(d, *p);
        allowed = now.empty() || ValueInList(now, v);
    } else if (p->form == Property::Form::Range) {
        allowed = Allowed(*p, v);
    }
    if (!allowed) {
        x.reply.code = kInvalidDevicePropValue;
        return;
    }
    x.body.ChangeAt(p->code, v, x.body.NowMs() + x.body.SettleMs());
}

size_t Nearest(const std::vector<Value>& list, const Value& v) {
    size_t best = 0;
    int64_t bestGap = INT64_MAX;
    for (size_t i = 0; i < list.size(); ++i) {
        int64_t gap = std::llabs(list[i].num - v.num);
        if (gap < bestGap) {
            bestGap = gap;
            best = i;
        }
    }
    return best;
}

// The received log shows a relative set as the operation with its code and the value sent.
void LogControl(Exchange& x, uint16_t code, int64_t sent) {
    Command logged = x.cmd;
    logged.params = {code, static_cast<uint32_t>(sent)};
    x.body.LogOperation(logged);
}

void Press(Exchange& x, const SonyData& d, const Property& p, const Value& v) {
    LogControl(x, p.code, v.num);
    if (p.code != d.movieButton)
        return;
    const Property* state = x.body.Find(d.recordingState);
    if (!state)
        return;
    Value next;
    next.num = v.num == 2 ? d.recording : d.idle;
    if (v.num == 2 || v.num == 1)
        x.body.ChangeAt(state->code, next, x.body.NowMs() + x.body.SettleMs());
}

void Step(Exchange& x, const SonyData& d, const Property& p, int step) {
    LogControl(x, p.code, static_cast<uint8_t>(step));
    std::vector<Value> notches = Notches(d, p);
    Value from = x.body.ValueToCome(p);
    Value to = from;
    if (!notches.empty()) {
        auto found = std::find(notches.begin(), notches.end(), from);
        int64_t pos =
            found != notches.end() ? found - notches.begin() : static_cast<int64_t>(Nearest(notches, from));
        int64_t last = static_cast<int64_t>(notches.size()) - 1;
        to = notches[static_cast<size_t>(std::clamp<int64_t>(pos + step, 0, last))];
    } else if (p.form == Property::Form::Range && p.step.num > 0) {
        to.num = std::clamp<int64_t>(from.num + step * p.step.num, p.min.num, p.max.num);
    }
    // The body turns notch by notch, a settle time each, and shows the value where it stops:
    // the driver takes any new value as the step's result, so a value half-way would make it
    // step again past the target.
    if (to != from)
        x.body.ChangeAt(p.code, to, x.body.NowMs() + x.body.SettleMs() * std::abs(step));
}

void SetRelative(Exchange& x, const SonyData& d) {
    const std::vector<uint8_t>* data = x.dataOut;
    if (!data || data->empty()) {
        x.reply.code = kInvalidDevicePropFormat;
        return;
    }
    const Property* p = ListedProperty(x, d);
    if (!p)
        return;
    Unpacker in(*data);
    if (Contains(d.buttons, p->code)) {
        Value v;
        uint16_t wide;
        uint8_t narrow;
        if (data->size() >= 2 && in.U16(&wide))
            v.num = wide;
        else if (in.U8(&narrow))
            v.num = narrow;
        Press(x, d, *p, v);
        return;
    }
    // A step is a signed byte (0xFF one notch back); wider data carries it in its low byte.
    uint8_t low = (*data)[0];
    int step = static_cast<int8_t>(low);
    if (step == 0)
        return;
    Step(x, d, *p, step);
}

}  // namespace

bool SonyFamily::Handle(Exchange& x) const {
    uint16_t code = x.cmd.code;
    if (code != kSdioConnect && code != kGetExtDeviceInfo && code != kSetControlDeviceA &&
        code != kSetControlDeviceB && code != kGetAllDevicePropData)
        return false;
    if (!x.body.Data().Offers(code))
        return false;
    if (!x.session.open) {
        x.reply.code = kSessionNotOpen;
        return true;
    }
    SonyData d = ReadData(x.body.Data());
    switch (code) {
        case kSdioConnect:
            SdioConnect(x);
            break;
        case kGetExtDeviceInfo:
            GetExtDeviceInfo(x, d);
            break;
        case kSetControlDeviceA:
            SetAbsolute(x, d);
            break;
        case kSetControlDeviceB:
            SetRelative(x, d);
            break;
        default:
            GetAllDevicePropData(x, d);
            break;
    }
    return true;
}

void SonyFamily::Report(BodyModel& body, uint16_t code) const {
    SonyData d = ReadData(body.Data());
    const Property* p = body.Find(code);
    if (!p || !Listed(d, *p))
        return;
    body.Interrupt(kPropertyChanged, {code});
    // A setting shown by two codes moves both; the partner reports itself.
    for (const auto& link : d.linked) {
        uint16_t other = link.first == code ? link.second : link.second == code ? link.first : 0;
        const Property* q = other ? body.Find(other) : nullptr;
        if (q && body.Current(*q) != body.Current(*p))
            body.Change(other, body.Current(*p));
    }
}

const Family& SonyFamilyInstance() {
    static const SonyFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
