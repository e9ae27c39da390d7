#include "WebApi.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
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

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A control byte in the request target, sent as it is or percent-encoded ("%00", "%0a").
bool HoldsControl(const std::string& target) {
    for (size_t i = 0; i < target.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(target[i]);
        if (c < 0x20 || c == 0x7f)
            return true;
        if (c == '%' && i + 2 < target.size() && std::isxdigit(static_cast<unsigned char>(target[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(target[i + 2]))) {
            const long v = std::strtol(target.substr(i + 1, 2).c_str(), nullptr, 16);
            if (v < 0x20 || v == 0x7f)
                return true;
        }
    }
    return false;
}

// The media type of a Content-Type value, without parameters, in lower case.
std::string MediaType(const char* contentType) {
    std::string t = contentType != nullptr ? contentType : "";
    t = t.substr(0, t.find(';'));
    const size_t begin = t.find_first_not_of(" \t");
    const size_t end = t.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : Lower(t.substr(begin, end - begin + 1));
}

}  // namespace

WebApi::WebApi(std::shared_ptr<VirtualEventBus> bus, std::shared_ptr<EventHub> hub, WebAccess access)
    : m_bus(std::move(bus)), m_hub(std::move(hub)), m_access(std::move(access)), m_port(m_access.port) {}

void WebApi::SetPort(int port) {
    m_port = port;
}

bool WebApi::ParseHost(const std::string& host, std::string& name, int& port) {
    port = -1;
    std::string text = host;
    size_t colon = text.rfind(':');
    const bool bracketed = !text.empty() && text[0] == '[';
    if (bracketed) {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        colon = close + 1 < text.size() ? close + 1 : std::string::npos;
        if (colon != std::string::npos && text[colon] != ':')
            return false;
    }
    if (colon != std::string::npos) {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        port = static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
        text = text.substr(0, colon);
    }
    if (bracketed)
        text = text.substr(1, text.size() - 2);
    // Addresses in their canonical text, so that "[0::1]" is "::1".
    char canonical[INET6_ADDRSTRLEN] = {};
    in6_addr a6{};
    in_addr a4{};
    if (inet_pton(AF_INET6, text.c_str(), &a6) == 1) {
        name = inet_ntop(AF_INET6, &a6, canonical, sizeof(canonical));
        return true;
    }
    if (bracketed)
        return false;
    if (inet_pton(AF_INET, text.c_str(), &a4) == 1) {
        name = inet_ntop(AF_INET, &a4, canonical, sizeof(canonical));
        return true;
    }
    name = Lower(text);
    return !name.empty() &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") == std::string::npos;
}

std::string WebApi::RequestToken(const char* authorization, const char* queryToken) {
    static const char kBearer[] = "Bearer ";
    if (authorization != nullptr && std::strncmp(authorization, kBearer, sizeof(kBearer) - 1) == 0)
        return authorization + sizeof(kBearer) - 1;
    return queryToken != nullptr ? queryToken : "";
}

bool WebApi::TokenMatches(const std::string& given) const {
    // Constant time for tokens of the right length: the time tells nothing of the prefix.
    if (given.size() != m_access.token.size())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < given.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ m_access.token[i]);
    return diff == 0;
}

bool WebApi::Privileged(const WebRequest& r) const {
    return r.local || (!m_access.token.empty() && TokenMatches(r.token));
}

int WebApi::BrakeWait(const std::string& client) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    if (m_clients.size() > 1024) {
        // Clients whose allowance is whole again are forgotten; their lines were logged.
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            const bool idle =
                now - it->second.updated > std::chrono::milliseconds(kTokenBurst * kTokenRefillMs) &&
                it->second.unlogged == 0;
            it = idle ? m_clients.erase(it) : std::next(it);
        }
    }
    auto found = m_clients.find(client);
    if (found == m_clients.end())
        return 0;
    ClientRecord& c = found->second;
    c.allowance = std::min<double>(
        kTokenBurst,
        c.allowance + std::chrono::duration<double, std::milli>(now - c.updated).count() / kTokenRefillMs);
    c.updated = now;
    return c.allowance >= 1 ? 0 : static_cast<int>((1 - c.allowance) * kTokenRefillMs / 1000) + 1;
}

void WebApi::CountRefusal(const WebRequest& r, bool guess, WebResponse& e) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    auto inserted = m_clients.emplace(r.client, ClientRecord());
    ClientRecord& c = inserted.first->second;
    if (inserted.second) {
        c.updated = now;
        c.logged = now - std::chrono::milliseconds(kRefusalLogMs);
    }
    if (guess)
        c.allowance -= 1;
    // One line per client every kRefusalLogMs, counting those that came between.
    if (now - c.logged < std::chrono::milliseconds(kRefusalLogMs)) {
        ++c.unlogged;
        return;
    }
    e.logLine =
        r.method + " " + r.path + " from " + r.client + ": " + std::to_string(e.status) + " " + e.body;
    if (c.unlogged > 0)
        e.logLine +=
            " (and " + std::to_string(c.unlogged) + " more refusals for a token since the last such line)";
    c.logged = now;
    c.unlogged = 0;
}

WebResponse WebApi::CheckOrigin(const WebRequest& r) const {
    // What a browser tells of the page that made the request: only this server's own page (or
    // no page: a typed address, curl) may use the API. Another site's page could otherwise
    // post with a form or a "simple" fetch, which the browser sends without asking.
    const std::string site = r.fetchSite != nullptr ? Lower(r.fetchSite) : std::string();
    if (!site.empty() && site != "same-origin" && site != "none")
        return Error(403, "requests from another site's page are refused (Sec-Fetch-Site: " + site + ")");
    if (r.origin != nullptr && Lower(r.origin) != "http://" + Lower(r.host))
        return Error(403, "requests from origin '" + std::string(r.origin) + "' are refused");
    return WebResponse();
}

WebResponse WebApi::Handle(const WebRequest& r) {
    WebResponse answer = Answer(r);
    if (answer.status >= 400 && answer.status != 401 && answer.status != 429)
        answer.logLine = r.method + " " + r.path + " from " + r.client + ": " +
                         std::to_string(answer.status) + " " + answer.body;
    return answer;
}

WebResponse WebApi::Answer(const WebRequest& r) {
    if (HoldsControl(r.target) || HoldsControl(r.path))
        return Error(400, "the request target holds a control character");
    if (r.hostHeaders == 0)
        return Error(400, "the Host header is missing");
    if (r.hostHeaders > 1)
        return Error(400, "more than one Host header");
    std::string name;
    int port = -1;
    if (!ParseHost(r.host, name, port))
        return Error(400, "the Host header is not a host");
    if (m_access.hostNames.count(name) == 0 || (port != -1 && port != m_port.load()))
        return Error(403, "'" + r.host + "' is not a name of this server (Host header)");
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
    WebResponse foreign = CheckOrigin(r);
    if (foreign.status != 200)
        return foreign;
    if (!m_access.token.empty()) {
        // A client that sent too many wrong tokens waits, whatever it sends now: the answer
        // tells nothing of the token.
        const int wait = BrakeWait(r.client);
        if (wait > 0 || !TokenMatches(r.token)) {
            WebResponse e = wait > 0
                                ? Error(429, "too many wrong tokens from " + r.client + "; try again in " +
                                                 std::to_string(wait) + " s")
                                : Error(401, r.token.empty() ? "a token is needed (Authorization: Bearer "
                                                               "TOKEN or ?token=TOKEN)"
                                                             : "wrong token");
            e.retryAfterS = wait;
            CountRefusal(r, wait == 0 && !r.token.empty(), e);
            return e;
        }
    }
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
            // A JSON body is what a page of another site cannot send without the browser
            // asking first (a preflight, which this server refuses).
            if (!read && MediaType(r.contentType) != "application/json")
                return Error(415, "the body must be sent as Content-Type: application/json");
            WebResponse answer = (this->*route.handler)(r);
            answer.stream = answer.stream && r.method != "HEAD";  // the headers only
            return answer;
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
