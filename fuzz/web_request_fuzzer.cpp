// The web remote's request handling (routing, token, the JSON of the set requests) and its
// configuration file, on a real bus. Besides the sanitizers: every answer is JSON or a page
// asset, a refused request publishes nothing, an accepted one exactly one 100-byte request
// whose text ends inside it, and nothing gets past the token.
#include <fuzzer/FuzzedDataProvider.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "EventHub.h"
#include "WebApi.h"
#include "WebConfig.h"
#include "zrlog.h"

namespace {

struct Seen {
    int count = 0;
    int event = 0;
    int length = 0;
    bool terminated = false;
};
Seen g_seen;

[[noreturn]] void Fail(const char* what, const WebRequest& r, const WebResponse& a) {
    std::fprintf(stderr, "web_request_fuzzer: %s: %s %s -> %d %s\n", what, r.method.c_str(), r.path.c_str(),
                 a.status, a.body.c_str());
    std::abort();
}

struct Harness {
    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    std::shared_ptr<EventHub> hub = std::make_shared<EventHub>(10);
    WebApi open{bus, hub, Access("")};
    WebApi guarded{bus, hub, Access("fuzz-token")};
    static WebAccess Access(const char* token) {
        WebAccess a;
        a.token = token;
        a.hostNames = {"localhost", "127.0.0.1"};
        a.port = 8080;
        return a;
    }
    Harness() {
        setenv("ZRLOG_LEVEL", "0", 1);
        for (int e = CAMERA_SET_FOCUS_MODE_EVENT; e <= CAMERA_TOUCH_FOCUS_EVENT; ++e) {
            bus->Subscribe(static_cast<EventType>(e), {[e](void* data, int length) {
                                                           ++g_seen.count;
                                                           g_seen.event = e;
                                                           g_seen.length = length;
                                                           g_seen.terminated =
                                                               std::memchr(data, '\0', length) != nullptr;
                                                       },
                                                       nullptr});
        }
        hub->Publish("{\"event\":9000}");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    FuzzedDataProvider in(data, size);
    static const char* const kMethods[] = {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS"};
    static const char* const kPaths[] = {"/api/set",    "/api/touch", "/api/record",
                                         "/api/events", "/",          "/app.js"};
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    WebRequest r;
    r.method = kMethods[(flags & 7) % 6];
    r.path = (flags & 8) ? in.ConsumeRandomLengthString(64) : kPaths[(flags >> 4) % 6];
    const bool guarded = flags & 0x80;
    const std::string auth = (flags & 0x40) ? "Bearer fuzz-token" : in.ConsumeRandomLengthString(32);
    const std::string query = in.ConsumeRandomLengthString(16);
    r.token = WebApi::RequestToken(auth.c_str(), query.empty() ? nullptr : query.c_str());
    // Mostly what the page sends, so that the routes are reached; else anything.
    const uint8_t more = in.ConsumeIntegral<uint8_t>();
    static const char* const kHosts[] = {"127.0.0.1:8080", "localhost", "evil.example:8080", "127.0.0.1:80"};
    r.hostHeaders = (more & 3) == 3 ? 2 : 1;
    r.host = (more & 4) ? in.ConsumeRandomLengthString(24) : kHosts[(more >> 3) & 3];
    const std::string origin = in.ConsumeRandomLengthString(24), site = in.ConsumeRandomLengthString(12);
    r.origin = (more & 0x20) ? origin.c_str() : nullptr;
    r.fetchSite = (more & 0x40) ? site.c_str() : nullptr;
    r.contentType = (more & 0x80) ? "text/plain" : "application/json; charset=utf-8";
    r.client = "10.0.0." + std::to_string(more);
    r.target = r.path;
    r.body = in.ConsumeRemainingBytesAsString();
    if (r.body.size() > WebApi::kMaxBody) {
        r.body.clear();
        r.bodyTooLarge = true;
    }
    g_seen = Seen();
    const WebResponse a = (guarded ? h.guarded : h.open).Handle(r);

    if (a.contentType == "application/json") {
        nlohmann::json j = nlohmann::json::parse(a.body, nullptr, false);
        if (j.is_discarded() || (a.status >= 400 && !j.contains("error")))
            Fail("answer is not the JSON it should be", r, a);
    }
    if (a.status == 202) {
        if (g_seen.count != 1 || g_seen.length != 100 || !g_seen.terminated)
            Fail("accepted request did not publish exactly one 100-byte text", r, a);
    } else if (g_seen.count != 0) {
        Fail("refused request published", r, a);
    }
    const bool api = r.path.compare(0, 5, "/api/") == 0;
    if (guarded && api && r.token != "fuzz-token" && a.status < 400)
        Fail("passed without the token", r, a);
    if (a.status < 400 &&
        (r.hostHeaders != 1 || (r.fetchSite != nullptr && std::string(r.fetchSite) == "cross-site") ||
         (api && r.method == "POST" && r.contentType[0] == 't')))
        Fail("passed a request from elsewhere", r, a);
    if (!api && a.status == 200 && a.contentType == "application/json")
        Fail("a page that is not an asset", r, a);

    WebConfig config;
    std::string error;
    if (config.Parse(r.body, error) != 0 && error.empty())
        Fail("configuration refused without a reason", r, a);
    return 0;
}
