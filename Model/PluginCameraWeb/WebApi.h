// What the web remote answers to one request: routing, the token, the JSON of the set
// requests and the compiled-in page. Knows no HTTP library; WebServer feeds it.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "EventHub.h"
#include "VirtualEventBus.h"

struct WebRequest {
    std::string method;
    std::string target;  // as sent, before any decoding ("" when unknown: then path is checked)
    std::string path;    // decoded, without the query
    std::string token;   // from "Authorization: Bearer T" or the query's token=T ("" when neither)
    std::string body;
    bool bodyTooLarge = false;  // the body was over kMaxBody and was not kept
    int hostHeaders = 0;        // how many Host headers came; host is the first
    std::string host;
    const char* origin = nullptr;  // headers that may be absent: nullptr then
    const char* fetchSite = nullptr;
    const char* contentType = nullptr;
    std::string client;  // the peer's address
    bool local = false;  // the peer is this machine (a loopback address)
};

struct WebResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string allow;    // for 405
    int retryAfterS = 0;  // for 429 and 503
    bool stream = false;  // the event stream: the server feeds it from the hub
    std::string logLine;  // what to log of a refusal ("" for nothing: repeats are summarised)
};

// Where requests may come from: the names the Host header may carry and the token.
struct WebAccess {
    std::string token;                // "" lets every request through (loopback without a token)
    std::set<std::string> hostNames;  // lower case; IP addresses in their canonical text
    int port = 0;                     // the port a Host header may name (none: the scheme's)
};

class WebApi {
  public:
    static constexpr size_t kMaxBody = 4096;

    // Wrong tokens a client may send at once before it has to wait, and the wait per one more.
    static constexpr int kTokenBurst = 5;
    static constexpr int kTokenRefillMs = 1000;
    // A client's refusals for a wrong or missing token are logged at most this often.
    static constexpr int kRefusalLogMs = 10000;

    WebApi(std::shared_ptr<VirtualEventBus> bus, std::shared_ptr<EventHub> hub, WebAccess access);

    WebResponse Handle(const WebRequest& request);
    // A local client, or one with the right token: may use the reserved connections.
    bool Privileged(const WebRequest& request) const;
    void SetPort(int port);

    // The token a request carries: the Bearer credentials of `authorization`, else `queryToken`.
    static std::string RequestToken(const char* authorization, const char* queryToken);
    // "name" of "name:port", "[v6]:port" or an address, in the form WebAccess keeps; false when
    // the text is no host (a bad port included: `port` is -1 when there was none).
    static bool ParseHost(const std::string& host, std::string& name, int& port);

  private:
    WebResponse GetRecord(const WebRequest& r) const;
    WebResponse GetEvents(const WebRequest& r) const;
    WebResponse PostSet(const WebRequest& r) const;
    WebResponse PostRecord(const WebRequest& r) const;
    WebResponse PostTouch(const WebRequest& r) const;
    WebResponse Publish(EventType event, const std::string& text) const;
    bool TokenMatches(const std::string& given) const;
    WebResponse Answer(const WebRequest& r);
    WebResponse CheckOrigin(const WebRequest& r) const;
    // The brake on wrong tokens: 0 to go on, else the seconds the client must wait.
    int BrakeWait(const std::string& client);
    // A refusal for the token: counted against the client (a guess also against its
    // allowance), and given a log line when the client's last one is old enough.
    void CountRefusal(const WebRequest& r, bool guess, WebResponse& e);

    using Clock = std::chrono::steady_clock;
    struct ClientRecord {
        double allowance = kTokenBurst;  // wrong tokens the client may still send now
        Clock::time_point updated;
        Clock::time_point logged;  // the last refusal line
        int unlogged = 0;          // refusals since
    };

    std::shared_ptr<VirtualEventBus> m_bus;
    std::shared_ptr<EventHub> m_hub;
    WebAccess m_access;
    std::atomic<int> m_port;
    std::mutex m_mutex;  // guards the clients
    std::map<std::string, ClientRecord> m_clients;
};
