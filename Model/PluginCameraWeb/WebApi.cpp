#include "WebApi.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "SetRequest.h"
#include "WebAssets.h"
#include "WebLog.h"

namespace {

using nlohmann::json;

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

WebResponse Error(int status, const std::string& message) {
    WebResponse r;
    r.status = status;
    r.body = Dump(json{{"error", message}});
    return r;
}

// The body as a JSON object with exactly the fields `names`; on failure `error` is the answer.
bool ParseObject(const WebRequest& r, std::initializer_list<const char*> names, json& out,
                 WebResponse& error) {
    if (r.body.empty()) {
        error = Error(400, "the body is empty: expected a JSON object");
        return false;
    }
    // nlohmann-json reports where the text goes wrong only through its exceptions: a syntax
    // error, or a number too large for a double (out_of_range).
    try {
        out = json::parse(r.body);
    } catch (const json::exception& e) {
        error = Error(400, std::string("malformed JSON: ") + e.what());
        return false;
    }
    if (!out.is_object()) {
        error = Error(400, std::string("expected a JSON object, got ") + out.type_name());
        return false;
    }
    for (const auto& item : out.items()) {
        if (std::none_of(names.begin(), names.end(), [&](const char* n) { return item.key() == n; })) {
            error = Error(400, "unknown field '" + item.key() + "'");
            return false;
        }
    }
    for (const char* n : names) {
        if (!out.contains(n)) {
            error = Error(400, std::string("missing field '") + n + "'");
            return false;
        }
    }
    return true;
}

// A whole number from 0 to limit - 1, else the error for field `name`.
bool SurfaceCoordinate(const json& j, const char* name, int limit, int& out, WebResponse& error) {
    const json& v = j[name];
    if (!v.is_number_integer()) {
        error = Error(400, std::string(name) + " must be a whole number");
        return false;
    }
    const bool inside = v.is_number_unsigned() ? v.get<uint64_t>() < static_cast<uint64_t>(limit)
                                               : v.get<int64_t>() >= 0 && v.get<int64_t>() < limit;
    if (!inside) {
        error = Error(400, std::string(name) + " " + Dump(v) + " is outside the " +
                               std::to_string(tools::kTouchSurfaceWidth) + " x " +
                               std::to_string(tools::kTouchSurfaceHeight) + " surface (0 to " +
                               std::to_string(limit - 1) + ")");
        return false;
    }
    out = static_cast<int>(v.get<int64_t>());
    return true;
}

}  // namespace

WebApi::WebApi(std::shared_ptr<VirtualEventBus> bus, std::shared_ptr<EventHub> hub, std::string token)
    : m_bus(std::move(bus)), m_hub(std::move(hub)), m_token(std::move(token)) {}

std::string WebApi::RequestToken(const char* authorization, const char* queryToken) {
    static const char kBearer[] = "Bearer ";
    if (authorization != nullptr && std::strncmp(authorization, kBearer, sizeof(kBearer) - 1) == 0)
        return authorization + sizeof(kBearer) - 1;
    return queryToken != nullptr ? queryToken : "";
}

bool WebApi::TokenMatches(const std::string& given) const {
    // Constant time for tokens of the right length: the time tells nothing of the prefix.
    if (given.size() != m_token.size())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < given.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ m_token[i]);
    return diff == 0;
}

WebResponse WebApi::Handle(const WebRequest& r) const {
    const bool read = r.method == "GET" || r.method == "HEAD";
    if (r.path.compare(0, 5, "/api/") != 0) {
        const WebAsset* asset = FindWebAsset(r.path);
        if (asset == nullptr)
            return Error(404, "no such page: " + r.path);
        if (!read) {
            WebResponse e = Error(405, r.method + " is not allowed on " + r.path);
            e.allow = "GET, HEAD";
            return e;
        }
        WebResponse page;
        page.contentType = asset->contentType;
        page.body.assign(asset->data, asset->size);
        return page;
    }
    if (!m_token.empty() && !TokenMatches(r.token))
        return Error(401, r.token.empty() ? "a token is needed (Authorization: Bearer TOKEN or ?token=TOKEN)"
                                          : "wrong token");
    struct Route {
        const char* path;
        const char* method;
        WebResponse (WebApi::*handler)(const WebRequest&) const;
    };
    static const Route kRoutes[] = {
        {"/api/record", "GET", &WebApi::GetRecord}, {"/api/record", "POST", &WebApi::PostRecord},
        {"/api/events", "GET", &WebApi::GetEvents}, {"/api/set", "POST", &WebApi::PostSet},
        {"/api/touch", "POST", &WebApi::PostTouch},
    };
    std::string allow;
    for (const Route& route : kRoutes) {
        if (r.path != route.path)
            continue;
        if (r.method == route.method || (r.method == "HEAD" && std::strcmp(route.method, "GET") == 0)) {
            if (r.bodyTooLarge)
                return Error(413, "the body is over " + std::to_string(kMaxBody) + " bytes");
            return (this->*route.handler)(r);
        }
        allow += (allow.empty() ? "" : ", ") + std::string(route.method);
    }
    if (allow.empty())
        return Error(404, "no such API path: " + r.path);
    WebResponse e = Error(405, r.method + " is not allowed on " + r.path + " (allowed: " + allow + ")");
    e.allow = allow;
    return e;
}

WebResponse WebApi::GetRecord(const WebRequest&) const {
    std::string last = m_hub->Last();
    if (last.empty())
        return Error(503, "no record has been published yet");
    WebResponse r;
    r.body = std::move(last);
    return r;
}

WebResponse WebApi::GetEvents(const WebRequest&) const {
    WebResponse r;
    r.contentType = "text/event-stream";
    r.stream = true;
    return r;
}

WebResponse WebApi::PostSet(const WebRequest& r) const {
    json j;
    WebResponse error;
    if (!ParseObject(r, {"setting", "value"}, j, error))
        return error;
    if (!j["setting"].is_string() || !j["value"].is_string())
        return Error(400, "setting and value must be strings");
    const std::string& name = j["setting"].get_ref<const std::string&>();
    const std::string& value = j["value"].get_ref<const std::string&>();
    const tools::TextSetting* setting = tools::FindTextSetting(name);
    if (setting == nullptr)
        return Error(400, "unknown setting '" + name + "' (one of " + tools::TextSettingNames() + ")");
    if (value.empty())
        return Error(400, "the value is empty");
    if (value.size() >= tools::kRequestPayloadSize) {
        return Error(400, "the value is " + std::to_string(value.size()) + " bytes; at most " +
                              std::to_string(tools::kRequestPayloadSize - 1) + " fit the request");
    }
    if (value.find('\0') != std::string::npos)
        return Error(400, "the value holds a NUL character");
    return Publish(setting->event, value);
}

WebResponse WebApi::PostRecord(const WebRequest& r) const {
    json j;
    WebResponse error;
    if (!ParseObject(r, {"on"}, j, error))
        return error;
    if (!j["on"].is_boolean())
        return Error(400, "on must be true or false");
    return Publish(CAMERA_ENABLE_RECORD_EVENT, j["on"].get<bool>() ? "1" : "0");
}

WebResponse WebApi::PostTouch(const WebRequest& r) const {
    json j;
    WebResponse error;
    int x = 0, y = 0;
    if (!ParseObject(r, {"x", "y"}, j, error) ||
        !SurfaceCoordinate(j, "x", tools::kTouchSurfaceWidth, x, error) ||
        !SurfaceCoordinate(j, "y", tools::kTouchSurfaceHeight, y, error)) {
        return error;
    }
    return Publish(CAMERA_TOUCH_FOCUS_EVENT, std::to_string(tools::PackTouchPoint(x, y)));
}

WebResponse WebApi::Publish(EventType event, const std::string& text) const {
    tools::RequestPayload payload = tools::MakePayload(text);
    WEB_LOG(ZR_LOG_INFO, "publish event %d \"%s\"", static_cast<int>(event), text.c_str());
    m_bus->Publish(event, payload.data(), static_cast<int>(payload.size()));
    WebResponse r;
    r.status = 202;
    r.body = Dump(json{
        {"published", {{"event", static_cast<int>(event)}, {"payload", text}, {"bytes", payload.size()}}}});
    return r;
}
