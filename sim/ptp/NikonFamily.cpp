#include "NikonFamily.h"

#include <algorithm>

namespace camsim {
namespace ptp {

namespace {

enum Operation : uint16_t {
    kAfDrive = 0x90C1,
    kChangeCameraMode = 0x90C2,
    kGetEvent = 0x90C7,
    kDeviceReady = 0x90C8,
    kGetVendorPropCodes = 0x90CA,
    kStartLiveView = 0x9201,
    kEndLiveView = 0x9202,
    kMfDrive = 0x9204,
    kChangeAfArea = 0x9205,
    kAfDriveCancel = 0x9206,
    kStartMovieRecInCard = 0x920A,
    kEndMovieRec = 0x920B,
    kGetEventEx = 0x941C,
    kChangeApplicationMode = 0x9435,
};

enum NikonResponse : uint16_t {
    kInvalidStatus = 0xA004,
    kNotLiveView = 0xA00B,
};

enum PropertyCode : uint16_t {
    kMovRecProhibitCondition = 0xD0A4,
    kLiveViewStatus = 0xD1A2,
    kLiveViewSelector = 0xD1A6,
    kApplicationMode = 0xD1F0,
};

constexpr uint16_t kMovieRecordComplete = 0xC108;

// Bits of the movie prohibit condition, as the driver's movie widget reads them.
constexpr uint32_t kProhibitNotApplicationMode = 1u << 14;
constexpr uint32_t kProhibitSelectorPhoto = 1u << 13;
constexpr uint32_t kProhibitRecording = 1u << 10;

// A GetEventEx record carries at most this many parameters.
constexpr size_t kMaxEventParams = 5;

// The session's "busy until" time for work the initiator started (live view, focus drive).
const char* const kReadyAtMs = "nikon.readyAtMs";

bool IsNikonOperation(uint16_t code) {
    switch (code) {
        case kAfDrive:
        case kChangeCameraMode:
        case kGetEvent:
        case kDeviceReady:
        case kGetVendorPropCodes:
        case kStartLiveView:
        case kEndLiveView:
        case kMfDrive:
        case kChangeAfArea:
        case kAfDriveCancel:
        case kStartMovieRecInCard:
        case kEndMovieRec:
        case kGetEventEx:
        case kChangeApplicationMode:
            return true;
        default:
            return false;
    }
}

int64_t ValueOf(const BodyModel& body, uint16_t code, int64_t fallback) {
    const Property* p = body.Find(code);
    return p ? body.Current(*p).num : fallback;
}

void SetValue(BodyModel& body, uint16_t code, int64_t num) {
    if (!body.Find(code))
        return;
    Value v;
    v.num = num;
    body.Change(code, v);
}

bool Recording(const BodyModel& body) {
    return (ValueOf(body, kMovRecProhibitCondition, 0) & kProhibitRecording) != 0;
}

bool InLiveView(const BodyModel& body) {
    return ValueOf(body, kLiveViewStatus, 0) != 0;
}

// The prohibit condition follows the application mode, the photo/movie selector and recording.
uint32_t ProhibitCondition(const BodyModel& body, bool recording) {
    uint32_t bits = 0;
    if (ValueOf(body, kApplicationMode, 1) == 0)
        bits |= kProhibitNotApplicationMode;
    if (ValueOf(body, kLiveViewSelector, 1) == 0)
        bits |= kProhibitSelectorPhoto;
    if (recording)
        bits |= kProhibitRecording;
    return bits;
}

void UpdateProhibit(BodyModel& body, bool recording) {
    SetValue(body, kMovRecProhibitCondition, ProhibitCondition(body, recording));
}

// The body is at work while a set settles or an operation it started runs.
bool Busy(const Exchange& x) {
    int64_t now = x.body.NowMs();
    auto it = x.session.vars.find(kReadyAtMs);
    if (it != x.session.vars.end() && it->second > now)
        return true;
    const auto& pending = x.body.State().ptp.pending;
    return std::any_of(pending.begin(), pending.end(),
                       [&](const PtpPendingValue& p) { return p.dueMs > now; });
}

void WorkFor(Exchange& x, int ms) {
    x.session.vars[kReadyAtMs] = x.body.NowMs() + std::max(ms, 0);
}

// Takes the events due by now out of the polled queue, in order.
std::vector<PtpEventRecord> TakeDueEvents(BodyModel& body) {
    auto& queue = body.Ptp().polled;
    int64_t now = body.NowMs();
    std::vector<PtpEventRecord> due;
    auto split = std::stable_partition(queue.begin(), queue.end(),
                                       [&](const PtpEventRecord& e) { return e.dueMs > now; });
    due.assign(split, queue.end());
    queue.erase(split, queue.end());
    return due;
}

// GetEvent: a 16-bit count, then per event its code and one parameter.
std::vector<uint8_t> PackEvents(const std::vector<PtpEventRecord>& events) {
    Packer out;
    out.U16(static_cast<uint16_t>(events.size()));
    for (const PtpEventRecord& e : events) {
        out.U16(e.code);
        out.U32(e.params.empty() ? 0 : e.params[0]);
    }
    return out.Take();
}

// GetEventEx: a 32-bit count, then per event its code, its parameter count and the parameters.
std::vector<uint8_t> PackEventsEx(const std::vector<PtpEventRecord>& events) {
    Packer out;
    out.U32(static_cast<uint32_t>(events.size()));
    for (const PtpEventRecord& e : events) {
        size_t n = std::min(e.params.size(), kMaxEventParams);
        out.U16(e.code);
        out.U16(static_cast<uint16_t>(n));
        for (size_t i = 0; i < n; ++i)
            out.U32(e.params[i]);
    }
    return out.Take();
}

// The codes of a "0xD0A4"-style string array in the family's data; bad entries are skipped
// (the loader's checks are the body file's, this is the family's own part).
std::vector<uint16_t> CodeList(const nlohmann::json& list) {
    std::vector<uint16_t> codes;
    if (!list.is_array())
        return codes;
    for (const auto& item : list) {
        uint32_t code;
        if (item.is_string() && ParseCode(item.get<std::string>(), 0xFFFF, &code))
            codes.push_back(static_cast<uint16_t>(code));
    }
    return codes;
}

// GetVendorPropCodes: the vendor properties the body names in its data, else every property
// it has beyond the DeviceInfo list.
std::vector<uint16_t> VendorPropertyCodes(const Body& b) {
    if (b.extra.is_object() && b.extra.contains("vendorProperties"))
        return CodeList(b.extra["vendorProperties"]);
    std::vector<uint16_t> codes;
    for (const Property& p : b.properties) {
        if (std::find(b.deviceProperties.begin(), b.deviceProperties.end(), p.code) ==
            b.deviceProperties.end())
            codes.push_back(p.code);
    }
    return codes;
}

// Properties the body reports along with a change of another without describing them
// (their descriptor answers "not supported").
std::vector<uint16_t> AlsoReported(const Body& b, uint16_t code) {
    if (!b.extra.is_object() || !b.extra.contains("alsoReports"))
        return {};
    const nlohmann::json& map = b.extra["alsoReports"];
    if (!map.is_object())
        return {};
    for (auto it = map.begin(); it != map.end(); ++it) {
        uint32_t key;
        if (ParseCode(it.key(), 0xFFFF, &key) && key == code)
            return CodeList(it.value());
    }
    return {};
}

void StartMovie(Exchange& x) {
    BodyModel& body = x.body;
    if (!InLiveView(body)) {
        x.reply.code = kNotLiveView;
        return;
    }
    // The selector at photo does not stop a start from the computer; the other conditions do.
    uint32_t prohibit = ProhibitCondition(body, Recording(body)) & ~kProhibitSelectorPhoto;
    if (prohibit != 0) {
        x.reply.code = kInvalidStatus;
        return;
    }
    UpdateProhibit(body, true);
}

void EndMovie(Exchange& x) {
    BodyModel& body = x.body;
    if (!Recording(body)) {
        x.reply.code = kInvalidStatus;
        return;
    }
    UpdateProhibit(body, false);
    // The file is closed on the card a little later; the driver waits for this event.
    body.PollEvent(kMovieRecordComplete, {0}, body.NowMs() + body.SettleMs());
}

}  // namespace

bool NikonFamily::Handle(Exchange& x) const {
    const Command& c = x.cmd;
    if (!IsNikonOperation(c.code) || !x.body.Data().Offers(c.code))
        return false;
    Reply& r = x.reply;
    if (!x.session.open) {
        r.code = kSessionNotOpen;
        return true;
    }
    BodyModel& body = x.body;
    switch (c.code) {
        case kGetEvent:
            r.SetData(PackEvents(TakeDueEvents(body)));
            return true;
        case kGetEventEx:
            r.SetData(PackEventsEx(TakeDueEvents(body)));
            return true;
        case kDeviceReady:
            if (Busy(x))
                r.code = kDeviceBusy;
            return true;
        case kGetVendorPropCodes: {
            Packer out;
            out.U16Array(VendorPropertyCodes(body.Data()));
            r.SetData(out.Take());
            return true;
        }
        default:
            break;
    }
    // What the initiator made the body do shows in the received log; the polls above do not.
    body.LogOperation(c);
    switch (c.code) {
        case kChangeCameraMode:
            if (c.Param(0) > 1)
                r.code = kInvalidParameter;
            return true;
        case kChangeApplicationMode:
            if (c.Param(0) > 1) {
                r.code = kInvalidParameter;
                return true;
            }
            SetValue(body, kApplicationMode, c.Param(0));
            UpdateProhibit(body, Recording(body));
            return true;
        case kStartLiveView:
            if (!InLiveView(body)) {
                SetValue(body, kLiveViewStatus, 1);
                WorkFor(x, body.SettleMs());
            }
            return true;
        case kEndLiveView:
            SetValue(body, kLiveViewStatus, 0);
            return true;
        case kAfDrive:
            WorkFor(x, body.SettleMs());
            return true;
        case kAfDriveCancel:
            WorkFor(x, 0);
            return true;
        case kMfDrive:
        case kChangeAfArea:
            if (!InLiveView(body)) {
                r.code = kNotLiveView;
                return true;
            }
            if (c.code == kMfDrive)
                WorkFor(x, body.SettleMs());
            return true;
        case kStartMovieRecInCard:
            StartMovie(x);
            return true;
        case kEndMovieRec:
            EndMovie(x);
            return true;
        default:
            r.code = kOperationNotSupported;
            return true;
    }
}

void NikonFamily::Report(BodyModel& body, uint16_t code) const {
    body.PollEvent(kEventDevicePropChanged, {code});
    for (uint16_t other : AlsoReported(body.Data(), code))
        body.PollEvent(kEventDevicePropChanged, {other});
    if (code == kLiveViewSelector || code == kApplicationMode)
        UpdateProhibit(body, Recording(body));
}

const Family& NikonFamilyInstance() {
    static const NikonFamily family;
    return family;
}

}  // namespace ptp
}  // namespace camsim
