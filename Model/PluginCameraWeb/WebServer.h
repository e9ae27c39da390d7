// The HTTP side of the web remote on libmicrohttpd: one thread per connection, so that an event
// stream may wait for the next record in its own thread. Requests go to WebApi; event streams
// are fed from the EventHub. A ConnectionTable keeps the places, the per-client counts and the
// deadline for each request.
#pragma once

#include <memory>
#include <string>

#include "EventHub.h"
#include "WebApi.h"
#include "WebConfig.h"

struct MHD_Daemon;

class ConnectionTable;

class WebServer {
  public:
    // Connections accepted beyond max_connections, only to be answered 503; further ones are
    // closed by libmicrohttpd unanswered.
    static constexpr int kOverflowConnections = 16;
    // How often a waiting event stream looks whether its client has gone.
    static constexpr int kStreamCheckMs = 250;

    WebServer(std::shared_ptr<WebApi> api, std::shared_ptr<EventHub> hub);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on the configured address and port. 0, or -1 with the reason in `error`.
    int Start(const WebConfig& config, std::string& error);
    // Ends every event stream and closes every connection; waits for their threads.
    void Stop();
    int Port() const { return m_port; }  // the bound port (useful with port 0)

    // For the connection threads.
    WebApi& Api() const { return *m_api; }
    EventHub& Hub() const { return *m_hub; }
    ConnectionTable& Connections() const { return *m_connections; }

  private:
    std::shared_ptr<WebApi> m_api;
    std::shared_ptr<EventHub> m_hub;
    std::unique_ptr<ConnectionTable> m_connections;
    MHD_Daemon* m_daemon = nullptr;
    int m_port = 0;
};
