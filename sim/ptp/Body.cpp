#include "Body.h"

#include "NumberText.h"

#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace camsim {
namespace ptp {

using nlohmann::json;

const Property* Body::Find(uint16_t code) const {
    for (const Property& p : properties) {
        if (p.code == code)
            return &p;
    }
    return nullptr;
}

const Property* Body::FindWidget(const std::string& name) const {
    if (name.empty())
        return nullptr;
    for (const Property& p : properties) {
        if (p.widget == name)
            return &p;
    }
    return nullptr;
}

bool Body::Offers(uint16_t operation) const {
    for (uint16_t op : operations) {
        if (op == operation)
            return true;
    }
    return false;
}

namespace {

// Reads one JSON file; every problem is a message naming the file.
class Reader {
  public:
    explicit Reader(std::string* error) : m_error(error) {}

    bool Fail(const std::string& what) {
        if (m_error->empty())
            *m_error = what;
        return false;
    }

    bool Code(const json& j, const std::string& what, uint32_t max, uint32_t* out) {
        if (j.is_string() && ParseCode(j.get<std::string>(), max, out))
            return true;
        if (j.is_number_unsigned() && j.get<uint64_t>() <= max) {
            *out = static_cast<uint32_t>(j.get<uint64_t>());
            return true;
        }
        return Fail(what + " must be a code (\"0x....\" or a number) up to " + HexCode(max));
    }

    bool Codes(const json& obj, const char* key, std::vector<uint16_t>* out) {
        out->clear();
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        if (!it->is_array())
            return Fail(std::string("\"") + key + "\" must be a list of codes");
        for (const json& c : *it) {
            uint32_t code;
            if (!Code(c, std::string("an entry of \"") + key + "\"", 0xFFFF, &code))
                return false;
            out->push_back(static_cast<uint16_t>(code));
        }
        return true;
    }

    bool Text(const json& obj, const char* key, std::string* out, bool required = false) {
        auto it = obj.find(key);
        if (it == obj.end())
            return required ? Fail(std::string("missing \"") + key + "\"") : true;
        if (!it->is_string())
            return Fail(std::string("\"") + key + "\" must be a string");
        *out = it->get<std::string>();
        return true;
    }

    template <typename T>
    bool Number(const json& obj, const char* key, T min, T max, T* out) {
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        uint32_t code;
        if (it->is_string() && ParseCode(it->get<std::string>(), 0xFFFFFFFFu, &code) && code >= min &&
            code <= max) {
            *out = static_cast<T>(code);
            return true;
        }
        if (it->is_number_integer() && it->get<int64_t>() >= static_cast<int64_t>(min) &&
            it->get<int64_t>() <= static_cast<int64_t>(max)) {
            *out = static_cast<T>(it->get<int64_t>());
            return true;
        }
        return Fail(std::string("\"") + key + "\" must be a number from " + std::to_string(min) + " to " +
                    std::to_string(max));
    }

    // A value of the property's type: a number in the type's range, or a text for strings.
    bool TypedValue(const json& j, uint16_t type, const std::string& what, Value* out) {
        *out = Value();
        if (type == kString) {
            if (!j.is_string())
                return Fail(what + " must be a string");
            out->str = j.get<std::string>();
            return true;
        }
        int64_t v = 0;
        uint32_t code;
        if (j.is_number_integer())
            v = j.get<int64_t>();
        else if (j.is_number_unsigned() && j.get<uint64_t>() <= static_cast<uint64_t>(INT64_MAX))
            v = static_cast<int64_t>(j.get<uint64_t>());
        else if (j.is_string() && ParseCode(j.get<std::string>(), 0xFFFFFFFFu, &code))
            v = code;
        else
            return Fail(what + " must be a number");
        if (!Fits(type, v))
            return Fail(what + " " + std::to_string(v) + " does not fit " + DataTypeName(type));
        out->num = v;
        return true;
    }

    static bool Fits(uint16_t type, int64_t v) {
        switch (type) {
            case kInt8:
                return v >= INT8_MIN && v <= INT8_MAX;
            case kUint8:
                return v >= 0 && v <= UINT8_MAX;
            case kInt16:
                return v >= INT16_MIN && v <= INT16_MAX;
            case kUint16:
                return v >= 0 && v <= UINT16_MAX;
            case kInt32:
                return v >= INT32_MIN && v <= INT32_MAX;
            case kUint32:
                return v >= 0 && v <= static_cast<int64_t>(UINT32_MAX);
            default:
                return true;
        }
    }

    bool PropertyFrom(const json& j, Property* p) {
        if (!j.is_object())
            return Fail("a property must be an object");
        uint32_t code;
        if (!j.contains("code") || !Code(j["code"], "\"code\"", 0xFFFF, &code))
            return Fail("a property needs a \"code\"");
        p->code = static_cast<uint16_t>(code);
        std::string where = "property " + HexCode(code) + ": ";
        std::string type;
        if (!Text(j, "type", &type, true) || !DataTypeFromName(type, &p->type))
            return Fail(where + "\"type\" must be one of int8 .. uint64, string");
        if (j.contains("writable")) {
            if (!j["writable"].is_boolean())
                return Fail(where + "\"writable\" must be true or false");
            p->writable = j["writable"].get<bool>();
        }
        if (!Number<uint8_t>(j, "enabled", 0, 2, &p->enabledByte))
            return false;
        p->enabled = p->enabledByte != 0;
        if (!Text(j, "widget", &p->widget) || !Text(j, "prefix", &p->prefix))
            return Fail(where + "bad text");
        if (j.contains("scale")) {
            if (!j["scale"].is_number() || !(j["scale"].get<double>() > 0))
                return Fail(where + "\"scale\" must be a positive number");
            p->scale = j["scale"].get<double>();
        }
        std::string form = "none";
        if (!Text(j, "form", &form))
            return false;
        if (!j.contains("current"))
            return Fail(where + "missing \"current\"");
        if (!TypedValue(j["current"], p->type, where + "\"current\"", &p->current))
            return false;
        p->factory = p->current;
        if (j.contains("factory") && !TypedValue(j["factory"], p->type, where + "\"factory\"", &p->factory))
            return false;
        if (form == "none") {
            p->form = Property::Form::None;
        } else if (form == "range") {
            p->form = Property::Form::Range;
            for (const char* key : {"min", "max", "step"}) {
                if (!j.contains(key))
                    return Fail(where + "a range needs \"" + key + "\"");
            }
            if (!TypedValue(j["min"], p->type, where + "\"min\"", &p->min) ||
                !TypedValue(j["max"], p->type, where + "\"max\"", &p->max) ||
                !TypedValue(j["step"], p->type, where + "\"step\"", &p->step))
                return false;
            if (p->type == kString || p->min.num > p->max.num || p->step.num < 0)
                return Fail(where + "a range needs numbers with min <= max and step >= 0");
        } else if (form == "enum") {
            p->form = Property::Form::Enum;
            if (!j.contains("values") || !j["values"].is_array())
                return Fail(where + "an enumeration needs a \"values\" list");
            for (const json& e : j["values"]) {
                const json* raw = &e;
                std::string text;
                if (e.is_array()) {
                    if (e.size() != 2 || !e[1].is_string())
                        return Fail(where + "a value with a text is [raw, \"text\"]");
                    raw = &e[0];
                    text = e[1].get<std::string>();
                }
                Value v;
                if (!TypedValue(*raw, p->type, where + "an enumeration value", &v))
                    return false;
                p->values.push_back(v);
                p->texts.push_back(text);
            }
            if (p->values.size() > 0xFFFF)
                return Fail(where + "too many values");
        } else {
            return Fail(where + "\"form\" must be none, range or enum");
        }
        return true;
    }

  private:
    std::string* m_error;
};

}  // namespace

int BodyFromJson(const json& j, const std::string& path, Body* out, std::string* error) {
    *out = Body();
    out->path = path;
    std::string problem;
    Reader r(&problem);
    auto fail = [&](const std::string& what) {
        *error = path + ": " + (problem.empty() ? what : problem);
        return GP_ERROR_CORRUPTED_DATA;
    };
    if (!j.is_object())
        return fail("a body is a JSON object");
    if (!r.Text(j, "family", &out->family, true) || !r.Text(j, "manufacturer", &out->manufacturer) ||
        !r.Text(j, "model", &out->model, true) || !r.Text(j, "deviceVersion", &out->deviceVersion) ||
        !r.Text(j, "serialNumber", &out->serialNumber) ||
        !r.Text(j, "vendorExtensionDesc", &out->vendorExtensionDesc))
        return fail("");
    if (out->family != "sony" && out->family != "canon" && out->family != "nikon")
        return fail("\"family\" must be sony, canon or nikon");
    if (!j.contains("usb") || !j["usb"].is_object())
        return fail("missing \"usb\" with \"vendor\" and \"product\"");
    uint32_t id;
    if (!j["usb"].contains("vendor") || !r.Code(j["usb"]["vendor"], "\"usb\" \"vendor\"", 0xFFFF, &id))
        return fail("\"usb\" needs a \"vendor\" id");
    out->usbVendor = static_cast<int>(id);
    if (!j["usb"].contains("product") || !r.Code(j["usb"]["product"], "\"usb\" \"product\"", 0xFFFF, &id))
        return fail("\"usb\" needs a \"product\" id");
    out->usbProduct = static_cast<int>(id);
    if (!r.Number<uint16_t>(j, "standardVersion", 0, 0xFFFF, &out->standardVersion) ||
        !r.Number<uint32_t>(j, "vendorExtensionId", 0, 0xFFFFFFFFu, &out->vendorExtensionId) ||
        !r.Number<uint16_t>(j, "vendorExtensionVersion", 0, 0xFFFF, &out->vendorExtensionVersion) ||
        !r.Number<uint16_t>(j, "functionalMode", 0, 0xFFFF, &out->functionalMode))
        return fail("");
    if (!r.Codes(j, "operations", &out->operations) || !r.Codes(j, "events", &out->events) ||
        !r.Codes(j, "deviceProperties", &out->deviceProperties) ||
        !r.Codes(j, "captureFormats", &out->captureFormats) ||
        !r.Codes(j, "imageFormats", &out->imageFormats))
        return fail("");
    if (j.contains("properties")) {
        if (!j["properties"].is_array())
            return fail("\"properties\" must be a list");
        for (const json& pj : j["properties"]) {
            Property p;
            if (!r.PropertyFrom(pj, &p))
                return fail("");
            if (out->Find(p.code))
                return fail("property " + HexCode(p.code) + " is described twice");
            out->properties.push_back(std::move(p));
        }
    }
    if (j.contains(out->family)) {
        if (!j[out->family].is_object())
            return fail("\"" + out->family + "\" must be an object");
        out->extra = j[out->family];
    } else {
        out->extra = json::object();
    }
    return GP_OK;
}

int LoadBody(const std::string& path, Body* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be read";
        return GP_ERROR_FILE_NOT_FOUND;
    }
    std::stringstream text;
    text << in.rdbuf();
    json j = json::parse(text.str(), nullptr, false);
    if (j.is_discarded()) {
        *error = path + ": not valid JSON";
        return GP_ERROR_CORRUPTED_DATA;
    }
    return BodyFromJson(j, path, out, error);
}

const Body* CachedBody(const std::string& path, std::string* error) {
    struct Entry {
        int64_t mtime = -1;
        off_t size = -1;
        Body body;
    };
    static std::mutex lock;
    static std::map<std::string, Entry> cache;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": cannot be read";
        return nullptr;
    }
    int64_t mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    std::lock_guard<std::mutex> guard(lock);
    Entry& e = cache[path];
    if (e.mtime != mtime || e.size != st.st_size) {
        Body body;
        if (LoadBody(path, &body, error) != GP_OK) {
            cache.erase(path);
            return nullptr;
        }
        e.body = std::move(body);
        e.mtime = mtime;
        e.size = st.st_size;
    }
    return &e.body;
}

namespace {

std::string FormatNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

bool ParseNumber(const std::string& text, double* out) {
    return numtext::WholeDouble(text, *out);
}

}  // namespace

std::string ValueText(const Property& p, const Value& v) {
    for (size_t i = 0; i < p.values.size(); ++i) {
        if (p.values[i] == v && !p.texts[i].empty())
            return p.texts[i];
    }
    if (p.type == kString)
        return v.str;
    if (p.scale > 0)
        return p.prefix + FormatNumber(static_cast<double>(v.num) / p.scale);
    return std::to_string(v.num);
}

bool Allowed(const Property& p, const Value& v) {
    switch (p.form) {
        case Property::Form::Enum:
            for (const Value& allowed : p.values) {
                if (allowed == v)
                    return true;
            }
            return false;
        case Property::Form::Range:
            if (v.num < p.min.num || v.num > p.max.num)
                return false;
            return p.step.num <= 0 || (v.num - p.min.num) % p.step.num == 0;
        default:
            return true;
    }
}

bool ValueFromText(const Property& p, const std::string& text, Value* out) {
    for (size_t i = 0; i < p.values.size(); ++i) {
        if (!p.texts[i].empty() && p.texts[i] == text) {
            *out = p.values[i];
            return true;
        }
    }
    Value v;
    if (p.type == kString) {
        v.str = text;
    } else {
        double number;
        std::string digits = text;
        if (!p.prefix.empty() && digits.compare(0, p.prefix.size(), p.prefix) == 0)
            digits = digits.substr(p.prefix.size());
        uint32_t code;
        if (p.scale > 0 && ParseNumber(digits, &number))
            v.num = std::llround(number * p.scale);
        else if (ParseCode(text, 0xFFFFFFFFu, &code))
            v.num = code;
        else if (ParseNumber(text, &number) && number == std::floor(number) && std::fabs(number) < 9.2e18)
            v.num = static_cast<int64_t>(number);
        else
            return false;
    }
    if (!Allowed(p, v))
        return false;
    *out = v;
    return true;
}

std::string BodyDir(const std::string& profileDir) {
    const char* env = std::getenv("CAMSIM_PTP_BODY_DIR");
    if (env && *env)
        return env;
    return profileDir + "/../ptp/bodies";
}

}  // namespace ptp
}  // namespace camsim
