#include "BodyModel.h"

#include <algorithm>
#include <cstdio>

#include "Family.h"

namespace camsim {
namespace ptp {

BodyModel::BodyModel(const Body& body, CameraState& state, int64_t nowMs)
    : m_body(body), m_state(state), m_nowMs(nowMs), m_family(FindFamily(body.family)) {}

Value BodyModel::Current(const Property& p) const {
    auto it = m_state.ptp.values.find(p.code);
    return it == m_state.ptp.values.end() ? p.current : it->second;
}

Value BodyModel::ValueToCome(const Property& p) const {
    Value v = Current(p);
    for (const PtpPendingValue& pending : m_state.ptp.pending) {
        if (pending.code == p.code)
            v = pending.value;
    }
    return v;
}

void BodyModel::Change(uint16_t code, const Value& v) {
    const Property* p = Find(code);
    if (!p)
        return;
    Value old = Current(*p);
    m_state.ptp.values[code] = v;
    MirrorWidget(*p, v);
    if (old != v && m_family)
        m_family->Report(*this, code);
}

void BodyModel::ChangeAt(uint16_t code, const Value& v, int64_t dueMs) {
    if (dueMs <= m_nowMs) {
        Change(code, v);
        return;
    }
    m_state.ptp.pending.push_back({code, v, dueMs});
}

void BodyModel::ApplyDue() {
    auto& pending = m_state.ptp.pending;
    // In the order written; a change may queue more, so take the due ones out first.
    std::vector<PtpPendingValue> due;
    auto split = std::stable_partition(pending.begin(), pending.end(),
                                       [&](const PtpPendingValue& p) { return p.dueMs > m_nowMs; });
    due.assign(split, pending.end());
    pending.erase(split, pending.end());
    for (const PtpPendingValue& p : due)
        Change(p.code, p.value);
}

void BodyModel::Interrupt(uint16_t code, std::vector<uint32_t> params, int64_t dueMs) {
    if (m_state.ptp.dropEvents > 0) {
        --m_state.ptp.dropEvents;
        return;
    }
    m_state.ptp.interrupts.push_back({code, std::move(params), dueMs});
}

void BodyModel::PollEvent(uint16_t code, std::vector<uint32_t> params, int64_t dueMs) {
    if (m_state.ptp.dropEvents > 0) {
        --m_state.ptp.dropEvents;
        return;
    }
    m_state.ptp.polled.push_back({code, std::move(params), dueMs});
}

void BodyModel::MarkChanged(uint16_t code) {
    auto& changed = m_state.ptp.changed;
    if (std::find(changed.begin(), changed.end(), code) != changed.end())
        return;
    if (m_state.ptp.dropEvents > 0) {
        --m_state.ptp.dropEvents;
        return;
    }
    changed.push_back(code);
}

void BodyModel::LogSet(uint16_t code, const Value& v) {
    const Property* p = Find(code);
    std::string text = p && p->type == kString ? v.str : std::to_string(v.num);
    m_state.received.push_back(HexCode(code) + "=" + text);
}

void BodyModel::LogOperation(const Command& cmd) {
    std::string line = "op " + HexCode(cmd.code);
    for (uint32_t param : cmd.params)
        line += " " + HexCode(param);
    m_state.received.push_back(line);
}

void BodyModel::MirrorWidget(const Property& p, const Value& v) {
    if (p.widget.empty())
        return;
    Widget* w = m_state.Find(p.widget);
    if (!w)
        return;
    w->value = ValueText(p, v);
    m_state.DropPendingValues(p.widget);
}

const Property* PropertyFor(const Body& body, const std::string& nameOrCode) {
    if (const Property* p = body.FindWidget(nameOrCode))
        return p;
    uint32_t number;
    return ParseCode(nameOrCode, 0xFFFF, &number) ? body.Find(static_cast<uint16_t>(number)) : nullptr;
}

bool ChangeValue(const Property& p, const std::string& text, Value* value, std::string* error) {
    if (ValueFromText(p, text, value))
        return true;
    uint32_t raw;
    if (p.type != kString && ParseCode(text, 0xFFFFFFFFu, &raw)) {
        *value = Value();
        value->num = raw;
        return true;
    }
    *error = "property " + HexCode(p.code) + " has no value \"" + text + "\"";
    return false;
}

}  // namespace ptp
}  // namespace camsim
