// What the web remote answers to one request: routing, the token, the JSON of the set
// requests and the compiled-in page. Knows no HTTP library; WebServer feeds it.
#pragma once

#include <memory>
#include <string>

#include "EventHub.h"
#include "VirtualEventBus.h"

struct WebRequest {
    std::string method;
    std::string path;   // without the query
    std::string token;  // from "Authorization: Bearer T" or the query's token=T ("" when neither)
    std::string body;
    bool bodyTooLarge = false;  // the body was over kMaxBody and was not kept
};

struct WebResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string allow;    // for 405
    bool stream = false;  // the event stream: the server feeds it from the hub
};

class WebApi {
  public:
    static constexpr size_t kMaxBody = 4096;

    // An empty token lets every request through (a loopback address without one).
    WebApi(std::shared_ptr<VirtualEventBus> bus, std::shared_ptr<EventHub> hub, std::string token);

    WebResponse Handle(const WebRequest& request) const;

    // The token a request carries: the Bearer credentials of `authorization`, else `queryToken`.
    static std::string RequestToken(const char* authorization, const char* queryToken);

  private:
    WebResponse GetRecord(const WebRequest& r) const;
    WebResponse GetEvents(const WebRequest& r) const;
    WebResponse PostSet(const WebRequest& r) const;
    WebResponse PostRecord(const WebRequest& r) const;
    WebResponse PostTouch(const WebRequest& r) const;
    WebResponse Publish(EventType event, const std::string& text) const;
    bool TokenMatches(const std::string& given) const;

    std::shared_ptr<VirtualEventBus> m_bus;
    std::shared_ptr<EventHub> m_hub;
    std::string m_token;
};
