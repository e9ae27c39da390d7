#include "StateJson.h"

#include <algorithm>
#include <cstdio>

#include "EventCodec.h"
#include "PtpStateJson.h"

namespace camsim {

using nlohmann::json;

namespace {

const int kStateVersion = 1;

std::string Hex(const std::vector<uint8_t>& data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (uint8_t b : data) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Unhex(const std::string& text, std::vector<uint8_t>* out) {
    if (text.size() % 2)
        return false;
    out->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Typed accessors: each returns false (with a message) when a present key has the wrong type.
bool GetString(const json& j, const char* key, std::string* out, std::string* error, bool required = false) {
    auto it = j.find(key);
    if (it == j.end()) {
        if (required)
            *error = std::string("missing \"") + key + "\"";
        return !required;
    }
    if (!it->is_string()) {
        *error = std::string("\"") + key + "\" must be a string";
        return false;
    }
    *out = it->get<std::string>();
    return true;
}

template <typename T>
bool GetInt(const json& j, const char* key, T* out, std::string* error) {
    auto it = j.find(key);
    if (it == j.end())
        return true;
    if (!it->is_number_integer()) {
        *error = std::string("\"") + key + "\" must be an integer";
        return false;
    }
    *out = static_cast<T>(it->get<int64_t>());
    return true;
}

// Range bounds go to libgphoto2 as float: a bound a float cannot hold would become infinity,
// which JSON cannot store.
bool GetFloat(const json& j, const char* key, float* out, std::string* error) {
    auto it = j.find(key);
    if (it == j.end())
        return true;
    if (!it->is_number()) {
        *error = std::string("\"") + key + "\" must be a number";
        return false;
    }
    if (!FloatFromDouble(it->get<double>(), out)) {
        std::string text;
        ValueText(*it, &text);
        *error = std::string("\"") + key + "\" must be a finite number a float can hold, not " + text;
        return false;
    }
    return true;
}

bool GetBool(const json& j, const char* key, bool* out, std::string* error) {
    auto it = j.find(key);
    if (it == j.end())
        return true;
    if (!it->is_boolean()) {
        *error = std::string("\"") + key + "\" must be true or false";
        return false;
    }
    *out = it->get<bool>();
    return true;
}

bool GetStrings(const json& j, const char* key, std::vector<std::string>* out, std::string* error) {
    auto it = j.find(key);
    if (it == j.end())
        return true;
    if (!it->is_array()) {
        *error = std::string("\"") + key + "\" must be an array of strings";
        return false;
    }
    out->clear();
    for (const json& e : *it) {
        std::string text;
        if (!ValueText(e, &text)) {
            *error = std::string("\"") + key + "\" must be an array of strings";
            return false;
        }
        out->push_back(text);
    }
    return true;
}

bool EventFromJson(const json& j, EventReaction* out, std::string* error) {
    if (j.is_string()) {
        std::string mode = j.get<std::string>();
        if (mode == "none") {
            out->mode = EventReaction::Mode::None;
        } else if (mode == "property") {
            out->mode = EventReaction::Mode::Property;
        } else {
            *error = "\"event\" must be \"none\", \"property\" or an object, not \"" + mode + "\"";
            return false;
        }
        return true;
    }
    if (!j.is_object()) {
        *error = "\"event\" must be \"none\", \"property\" or an object";
        return false;
    }
    out->mode = EventReaction::Mode::Typed;
    auto type = j.find("type");
    if (type == j.end() || !type->is_number_integer()) {
        *error = "\"event\" needs an integer \"type\"";
        return false;
    }
    out->type = type->get<int>();
    if (!GetString(j, "encode", &out->encode, error))
        return false;
    auto codes = j.find("codes");
    if (codes != j.end()) {
        if (!codes->is_object()) {
            *error = "\"codes\" must be an object of integers";
            return false;
        }
        for (auto it = codes->begin(); it != codes->end(); ++it) {
            if (!it.value().is_number_integer()) {
                *error = "code of \"" + it.key() + "\" must be an integer";
                return false;
            }
            out->codes[it.key()] = it.value().get<int64_t>();
        }
    }
    return true;
}

json EventToJson(const EventReaction& e) {
    if (e.mode == EventReaction::Mode::None)
        return "none";
    if (e.mode == EventReaction::Mode::Property)
        return "property";
    json j = {{"type", e.type}};
    if (!e.encode.empty())
        j["encode"] = e.encode;
    if (!e.codes.empty()) {
        json codes = json::object();
        for (const auto& c : e.codes)
            codes[c.first] = c.second;
        j["codes"] = codes;
    }
    return j;
}

// "effects" and "requires": value -> {widget: value}.
bool WidgetValuesFromJson(const json& j, const std::string& key,
                          std::map<std::string, std::map<std::string, std::string>>* out,
                          std::string* error) {
    if (!j.is_object()) {
        *error = "\"" + key + "\" must map values to objects of widget values";
        return false;
    }
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (!it.value().is_object()) {
            *error = key + " of \"" + it.key() + "\" must be an object";
            return false;
        }
        for (auto e = it.value().begin(); e != it.value().end(); ++e) {
            std::string text;
            if (!ValueText(e.value(), &text)) {
                *error = key + " on \"" + e.key() + "\" must be a value";
                return false;
            }
            (*out)[it.key()][e.key()] = text;
        }
    }
    return true;
}

// Nesting of arrays and objects, strings skipped; counted without recursion.
std::size_t NestingDepth(const std::string& text) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

bool ParseJsonText(const std::string& text, json* out, std::string* error) {
    if (NestingDepth(text) > kMaxJsonDepth) {
        *error = "arrays and objects nest deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return false;
    }
    try {
        *out = json::parse(text);
        return true;
    } catch (const json::exception& e) {
        *error = e.what();
        return false;
    }
}

std::string DumpJson(const json& j, int indent) {
    return j.dump(indent, ' ', false, json::error_handler_t::replace);
}

std::string DumpJson(const nlohmann::ordered_json& j, int indent) {
    return j.dump(indent, ' ', false, json::error_handler_t::replace);
}

bool ValueText(const json& j, std::string* out) {
    if (j.is_string()) {
        *out = j.get<std::string>();
    } else if (j.is_boolean()) {
        *out = j.get<bool>() ? "1" : "0";
    } else if (j.is_number_integer()) {
        *out = std::to_string(j.get<int64_t>());
    } else if (j.is_number_float()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", j.get<double>());
        *out = buf;
    } else {
        return false;
    }
    return true;
}

bool WidgetFromJson(const json& j, Widget* w, std::string* error) {
    if (!j.is_object()) {
        *error = "a widget must be an object";
        return false;
    }
    std::string err;
    bool ok = GetString(j, "name", &w->name, &err, true);
    if (ok && w->name.empty()) {
        err = "\"name\" must not be empty";
        ok = false;
    }
    std::string type = "text";
    ok = ok && GetString(j, "type", &type, &err);
    if (ok && !KindFromName(type, &w->kind)) {
        err = "unknown type \"" + type + "\" (text, range, toggle, radio, menu, date)";
        ok = false;
    }
    w->label = w->name;
    ok = ok && GetString(j, "label", &w->label, &err) && GetString(j, "section", &w->section, &err) &&
         GetString(j, "property", &w->property, &err) && GetStrings(j, "choices", &w->choices, &err) &&
         GetFloat(j, "min", &w->min, &err) && GetFloat(j, "max", &w->max, &err) &&
         GetFloat(j, "step", &w->step, &err) && GetBool(j, "readonly", &w->readonly, &err) &&
         GetBool(j, "stubborn", &w->stubborn, &err) && GetInt(j, "fail_lookup", &w->failLookup, &err) &&
         GetInt(j, "fail_set", &w->failSet, &err);
    // Longer texts would overrun libgphoto2's fixed arrays when the widget is built.
    const std::pair<const char*, const std::string*> bounded[] = {
        {"name", &w->name}, {"label", &w->label}, {"section", &w->section}};
    for (const auto& b : bounded) {
        if (ok && b.second->size() > kMaxWidgetText) {
            err = std::string("\"") + b.first + "\" is longer than " + std::to_string(kMaxWidgetText) +
                  " bytes";
            ok = false;
        }
    }
    if (ok) {
        auto value = j.find("value");
        if (value != j.end() && !ValueText(*value, &w->value)) {
            err = "\"value\" must be a string, number or boolean";
            ok = false;
        }
    }
    if (ok && w->value.empty() &&
        (w->kind == Kind::Toggle || w->kind == Kind::Range || w->kind == Kind::Date)) {
        w->value = "0";
    }
    float number = 0;
    if (ok && w->kind == Kind::Range && !RangeNumber(w->value, &number)) {
        err = "\"value\" \"" + w->value + "\" of a range must be a finite number a float can hold";
        ok = false;
    }
    if (ok) {
        std::string fault = "none";
        ok = GetString(j, "value_fault", &fault, &err);
        if (ok && !FaultFromName(fault, &w->valueFault)) {
            err = "unknown value_fault \"" + fault + "\" (none, novalue, typeless)";
            ok = false;
        }
    }
    if (ok && j.contains("event"))
        ok = EventFromJson(j["event"], &w->event, &err);
    if (ok && j.contains("effects"))
        ok = WidgetValuesFromJson(j["effects"], "effects", &w->effects, &err);
    if (ok && j.contains("requires"))
        ok = WidgetValuesFromJson(j["requires"], "requires", &w->preconditions, &err);
    if (!ok)
        *error = (w->name.empty() ? std::string("widget") : "widget \"" + w->name + "\"") + ": " + err;
    return ok;
}

json WidgetToJson(const Widget& w) {
    json j = {{"name", w.name}, {"label", w.label}, {"type", KindName(w.kind)}, {"value", w.value}};
    if (!w.section.empty())
        j["section"] = w.section;
    if (!w.property.empty())
        j["property"] = w.property;
    if (w.kind == Kind::Radio || w.kind == Kind::Menu)
        j["choices"] = w.choices;
    if (w.kind == Kind::Range) {
        j["min"] = w.min;
        j["max"] = w.max;
        j["step"] = w.step;
    }
    if (w.readonly)
        j["readonly"] = true;
    if (w.event.mode != EventReaction::Mode::Property)
        j["event"] = EventToJson(w.event);
    if (!w.effects.empty()) {
        json effects = json::object();
        for (const auto& e : w.effects)
            effects[e.first] = e.second;
        j["effects"] = effects;
    }
    if (!w.preconditions.empty()) {
        json preconditions = json::object();
        for (const auto& p : w.preconditions)
            preconditions[p.first] = p.second;
        j["requires"] = preconditions;
    }
    if (w.stubborn)
        j["stubborn"] = true;
    if (w.failLookup)
        j["fail_lookup"] = w.failLookup;
    if (w.valueFault != Fault::None)
        j["value_fault"] = FaultName(w.valueFault);
    if (w.failSet)
        j["fail_set"] = w.failSet;
    return j;
}

bool StateFromJson(const json& j, CameraState* s, std::string* error) {
    if (!j.is_object()) {
        *error = "the top level must be an object";
        return false;
    }
    int version = 0;
    std::string err;
    bool ok = GetInt(j, "version", &version, &err);
    if (ok && version != kStateVersion) {
        err = "unsupported version " + std::to_string(version) + " (expected " +
              std::to_string(kStateVersion) + ")";
        ok = false;
    }
    ok = ok && GetString(j, "profile", &s->profile, &err) &&
         GetString(j, "profile_path", &s->profilePath, &err) && GetString(j, "model", &s->model, &err) &&
         GetInt(j, "usb_vendor", &s->usbVendor, &err) && GetInt(j, "usb_product", &s->usbProduct, &err) &&
         GetBool(j, "plugged", &s->plugged, &err) && GetInt(j, "session", &s->session, &err) &&
         GetInt(j, "settle_ms", &s->latency.settleMs, &err) &&
         GetInt(j, "transaction_ms", &s->latency.transactionMs, &err) &&
         GetInt(j, "open_ms", &s->latency.openMs, &err) &&
         GetInt(j, "connect_fault", &s->connectFault, &err) &&
         GetInt(j, "connect_times", &s->connectTimes, &err) && GetInt(j, "wait_fault", &s->waitFault, &err) &&
         GetInt(j, "wait_times", &s->waitTimes, &err);
    if (!ok) {
        *error = err;
        return false;
    }
    auto widgets = j.find("widgets");
    if (widgets != j.end()) {
        if (!widgets->is_array()) {
            *error = "\"widgets\" must be an array";
            return false;
        }
        for (const json& wj : *widgets) {
            Widget w;
            if (!WidgetFromJson(wj, &w, error))
                return false;
            s->widgets.push_back(w);
        }
    }
    auto events = j.find("events");
    if (events != j.end()) {
        if (!events->is_array()) {
            *error = "\"events\" must be an array";
            return false;
        }
        for (const json& ej : *events) {
            PendingEvent e;
            std::string hex;
            if (!ej.is_object() || !GetInt(ej, "type", &e.type, &err) || !GetInt(ej, "due", &e.dueMs, &err) ||
                !GetString(ej, "data", &hex, &err) || !Unhex(hex, &e.data)) {
                *error = "malformed entry in \"events\"" + (err.empty() ? std::string() : ": " + err);
                return false;
            }
            std::string shortBlock = CheckDriverBlock(e.type, e.data);
            if (!shortBlock.empty()) {
                *error = "entry in \"events\": " + shortBlock;
                return false;
            }
            s->events.push_back(e);
        }
    }
    auto pending = j.find("pending_values");
    if (pending != j.end()) {
        if (!pending->is_array()) {
            *error = "\"pending_values\" must be an array";
            return false;
        }
        for (const json& pj : *pending) {
            PendingValue p;
            if (!pj.is_object() || !GetString(pj, "widget", &p.widget, &err) ||
                !GetString(pj, "value", &p.value, &err) || !GetInt(pj, "due", &p.dueMs, &err)) {
                *error = "malformed entry in \"pending_values\"" + (err.empty() ? std::string() : ": " + err);
                return false;
            }
            s->pendingValues.push_back(p);
        }
    }
    auto ptp = j.find("ptp");
    if (ptp != j.end() && !PtpStateFromJson(*ptp, &s->ptp, error))
        return false;
    return true;
}

json StateToJson(const CameraState& s) {
    json widgets = json::array();
    for (const Widget& w : s.widgets)
        widgets.push_back(WidgetToJson(w));
    json events = json::array();
    for (const PendingEvent& e : s.events)
        events.push_back({{"type", e.type}, {"due", e.dueMs}, {"data", Hex(e.data)}});
    json pending = json::array();
    for (const PendingValue& p : s.pendingValues)
        pending.push_back({{"widget", p.widget}, {"value", p.value}, {"due", p.dueMs}});
    json out{{"version", kStateVersion},
             {"profile", s.profile},
             {"profile_path", s.profilePath},
             {"model", s.model},
             {"usb_vendor", s.usbVendor},
             {"usb_product", s.usbProduct},
             {"plugged", s.plugged},
             {"session", s.session},
             {"settle_ms", s.latency.settleMs},
             {"transaction_ms", s.latency.transactionMs},
             {"open_ms", s.latency.openMs},
             {"connect_fault", s.connectFault},
             {"connect_times", s.connectTimes},
             {"wait_fault", s.waitFault},
             {"wait_times", s.waitTimes},
             {"widgets", widgets},
             {"events", events},
             {"pending_values", pending}};
    if (s.ptp.Active())
        out["ptp"] = PtpStateToJson(s.ptp);
    return out;
}

}  // namespace camsim
