#include "PtpStateJson.h"

namespace camsim {

using nlohmann::json;

namespace {

json EventsToJson(const std::vector<PtpEventRecord>& events) {
    json out = json::array();
    for (const PtpEventRecord& e : events)
        out.push_back({{"code", e.code}, {"params", e.params}, {"due", e.dueMs}});
    return out;
}

bool Integer(const json& j, int64_t min, int64_t max, int64_t* out) {
    if (!j.is_number_integer() || j.get<int64_t>() < min || j.get<int64_t>() > max)
        return false;
    *out = j.get<int64_t>();
    return true;
}

bool EventsFromJson(const json& j, std::vector<PtpEventRecord>* out) {
    if (!j.is_array())
        return false;
    for (const json& e : j) {
        PtpEventRecord r;
        int64_t code;
        if (!e.is_object() || !e.contains("code") || !Integer(e["code"], 0, 0xFFFF, &code) ||
            !e.contains("due") || !Integer(e["due"], INT64_MIN, INT64_MAX, &r.dueMs) ||
            !e.contains("params") || !e["params"].is_array() || e["params"].size() > 5)
            return false;
        r.code = static_cast<uint16_t>(code);
        for (const json& p : e["params"]) {
            int64_t v;
            if (!Integer(p, 0, UINT32_MAX, &v))
                return false;
            r.params.push_back(static_cast<uint32_t>(v));
        }
        out->push_back(r);
    }
    return true;
}

json ValueToJson(const ptp::Value& v) {
    return v.str.empty() ? json(v.num) : json(v.str);
}

bool ValueFromJson(const json& j, ptp::Value* v) {
    *v = ptp::Value();
    if (j.is_string()) {
        v->str = j.get<std::string>();
        return true;
    }
    return Integer(j, INT64_MIN, INT64_MAX, &v->num);
}

bool CodeFromText(const std::string& text, uint16_t* code) {
    uint32_t c;
    if (!ptp::ParseCode(text, 0xFFFF, &c))
        return false;
    *code = static_cast<uint16_t>(c);
    return true;
}

}  // namespace

json PtpStateToJson(const PtpState& s) {
    json values = json::object();
    for (const auto& [code, v] : s.values)
        values[ptp::HexCode(code)] = ValueToJson(v);
    json pending = json::array();
    for (const PtpPendingValue& p : s.pending)
        pending.push_back({{"code", p.code}, {"value", ValueToJson(p.value)}, {"due", p.dueMs}});
    return json{{"body", s.body},
                {"usb_vendor", s.usbVendor},
                {"usb_product", s.usbProduct},
                {"values", values},
                {"interrupts", EventsToJson(s.interrupts)},
                {"polled", EventsToJson(s.polled)},
                {"changed", s.changed},
                {"pending", pending},
                {"busy", s.busy},
                {"stall", s.stall},
                {"drop_events", s.dropEvents},
                {"vars", s.vars}};
}

bool PtpStateFromJson(const json& j, PtpState* s, std::string* error) {
    *s = PtpState();
    auto fail = [&](const char* what) {
        *error = std::string("\"ptp\": ") + what;
        return false;
    };
    if (!j.is_object())
        return fail("must be an object");
    if (!j.contains("body") || !j["body"].is_string())
        return fail("\"body\" must be a path");
    s->body = j["body"].get<std::string>();
    int64_t v;
    if (!j.contains("usb_vendor") || !Integer(j["usb_vendor"], 0, 0xFFFF, &v))
        return fail("\"usb_vendor\" must be a USB id");
    s->usbVendor = static_cast<int>(v);
    if (!j.contains("usb_product") || !Integer(j["usb_product"], 0, 0xFFFF, &v))
        return fail("\"usb_product\" must be a USB id");
    s->usbProduct = static_cast<int>(v);
    for (const char* key : {"busy", "stall", "drop_events"}) {
        int64_t n = 0;
        if (j.contains(key) && !Integer(j[key], 0, 1000000, &n))
            return fail("a fault count must be 0 to 1000000");
        (key[0] == 'b' ? s->busy : key[0] == 's' ? s->stall : s->dropEvents) = static_cast<int>(n);
    }
    if (j.contains("values")) {
        if (!j["values"].is_object())
            return fail("\"values\" must be an object");
        for (const auto& [key, value] : j["values"].items()) {
            uint16_t code;
            ptp::Value pv;
            if (!CodeFromText(key, &code) || !ValueFromJson(value, &pv))
                return fail("\"values\" maps property codes to numbers or texts");
            s->values[code] = pv;
        }
    }
    if ((j.contains("interrupts") && !EventsFromJson(j["interrupts"], &s->interrupts)) ||
        (j.contains("polled") && !EventsFromJson(j["polled"], &s->polled)))
        return fail("an event is {code, params (at most 5), due}");
    if (j.contains("vars")) {
        if (!j["vars"].is_object())
            return fail("\"vars\" must map names to numbers");
        for (const auto& [key, value] : j["vars"].items()) {
            if (!Integer(value, INT64_MIN, INT64_MAX, &v))
                return fail("\"vars\" must map names to numbers");
            s->vars[key] = v;
        }
    }
    if (j.contains("changed")) {
        if (!j["changed"].is_array())
            return fail("\"changed\" must be a list of property codes");
        for (const json& c : j["changed"]) {
            if (!Integer(c, 0, 0xFFFF, &v))
                return fail("\"changed\" must be a list of property codes");
            s->changed.push_back(static_cast<uint16_t>(v));
        }
    }
    if (j.contains("pending")) {
        if (!j["pending"].is_array())
            return fail("\"pending\" must be a list");
        for (const json& p : j["pending"]) {
            PtpPendingValue pv;
            if (!p.is_object() || !p.contains("code") || !Integer(p["code"], 0, 0xFFFF, &v) ||
                !p.contains("value") || !ValueFromJson(p["value"], &pv.value) || !p.contains("due") ||
                !Integer(p["due"], INT64_MIN, INT64_MAX, &pv.dueMs))
                return fail("a pending value is {code, value, due}");
            pv.code = static_cast<uint16_t>(v);
            s->pending.push_back(pv);
        }
    }
    return true;
}

}  // namespace camsim
