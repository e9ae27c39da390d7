#include "WebServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "WebLog.h"

using Clock = std::chrono::steady_clock;

namespace {

// One TCP connection as the server follows it.
struct Connection {
    int fd = -1;
    std::string client;  // the peer's address
    bool local = false;
    Clock::time_point since;  // when it began waiting for its current request
    bool waiting = true;      // the current request's headers and body are not all in yet
    bool busy = false;        // a request or an event stream is being served
};

// The peer's address as text ("::ffff:a.b.c.d" as "a.b.c.d"), and whether it is this machine.
std::string ClientAddress(const sockaddr* addr, bool& local) {
    char text[INET6_ADDRSTRLEN] = {};
    local = false;
    if (addr == nullptr)
        return "?";
    if (addr->sa_family == AF_INET) {
        const in_addr a = reinterpret_cast<const sockaddr_in*>(addr)->sin_addr;
        local = (ntohl(a.s_addr) >> 24) == 127;
        return inet_ntop(AF_INET, &a, text, sizeof(text)) != nullptr ? text : "?";
    }
    if (addr->sa_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            in_addr v4{};
            std::memcpy(&v4, a.s6_addr + 12, sizeof(v4));
            local = (ntohl(v4.s_addr) >> 24) == 127;
            return inet_ntop(AF_INET, &v4, text, sizeof(text)) != nullptr ? text : "?";
        }
        local = IN6_IS_ADDR_LOOPBACK(&a);
        return inet_ntop(AF_INET6, &a, text, sizeof(text)) != nullptr ? text : "?";
    }
    return "?";
}

}  // namespace

// Every open connection: the deadline for its request, the connections in service (with the
// places kept for local clients and token holders) and the connections per client.
class ConnectionTable {
  public:
    explicit ConnectionTable(const WebConfig& config)
        : m_maxBusy(config.maxConnections),
          m_reserved(config.reservedConnections),
          m_maxPerClient(config.maxPerClient),
          m_headerTimeout(std::chrono::seconds(config.headerTimeoutS)) {}
    ~ConnectionTable() { Stop(); }

    int Start() {
        try {
            m_thread = std::thread(&ConnectionTable::Watch, this);
        } catch (...) {
            return -1;
        }
        return 0;
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // At accept: a client that is not this machine may hold only so many connections (the
    // library then closes the new one unanswered: it cannot answer before accepting).
    bool MayConnect(const sockaddr* addr) {
        bool local = false;
        const std::string client = ClientAddress(addr, local);
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_perClient.find(client);
        return local || found == m_perClient.end() || found->second < m_maxPerClient;
    }
    Connection* Opened(int fd, const sockaddr* addr) {
        Connection* c = new (std::nothrow) Connection;
        if (c == nullptr)
            return nullptr;
        c->fd = fd;
        c->client = ClientAddress(addr, c->local);
        c->since = Clock::now();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open.insert(c);
            ++m_perClient[c->client];
        }
        m_changed.notify_all();
        return c;
    }
    // Before the library closes the descriptor: the watcher may no longer touch it.
    void Closed(Connection* c) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.erase(c);
        if (--m_perClient[c->client] <= 0)
            m_perClient.erase(c->client);
        if (c->busy)
            --m_busy;
        delete c;
    }
    // A request whose headers are in: served (true), or refused with the reason (503).
    bool Admit(Connection* c, bool privileged, std::string& why) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int limit = privileged ? m_maxBusy : m_maxBusy - m_reserved;
        if (c->busy || m_busy < limit) {
            if (!c->busy)
                ++m_busy;
            c->busy = true;
            return true;
        }
        why = "the server is busy: " + std::to_string(m_busy) + " requests and event streams in service" +
              (privileged || m_reserved == 0 ? std::string()
                                             : " (the last " + std::to_string(m_reserved) +
                                                   " places are kept for local clients and token holders)");
        return false;
    }
    // The request is all in: no deadline while it is answered (or while its stream lasts).
    void RequestIn(Connection* c) {
        std::lock_guard<std::mutex> lock(m_mutex);
        c->waiting = false;
    }
    // The answer went out; a kept-alive connection waits for its next request.
    void RequestDone(Connection* c) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (c->busy)
                --m_busy;
            c->busy = false;
            c->waiting = true;
            c->since = Clock::now();
        }
        m_changed.notify_all();
    }
    // On the connection's own thread: the peer has closed its side (or the socket failed).
    static bool PeerGone(int fd) {
        pollfd p{fd, POLLRDHUP, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

  private:
    // Closes the connections whose request did not come in time: a client that sends nothing,
    // or a byte now and then (each of which would renew the library's idle time-out).
    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            Clock::time_point next = Clock::time_point::max();
            const Clock::time_point now = Clock::now();
            for (Connection* c : m_open) {
                if (!c->waiting)
                    continue;
                if (now - c->since >= m_headerTimeout) {
                    ::shutdown(c->fd, SHUT_RDWR);  // its thread sees the end and closes it
                    c->waiting = false;
                } else {
                    next = std::min(next, c->since + m_headerTimeout);
                }
            }
            if (next == Clock::time_point::max())
                m_changed.wait(lock);
            else
                m_changed.wait_until(lock, next);
        }
    }

    const int m_maxBusy;
    const int m_reserved;
    const int m_maxPerClient;
    const Clock::duration m_headerTimeout;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<Connection*> m_open;
    std::map<std::string, int> m_perClient;
    int m_busy = 0;
    bool m_stop = false;
    std::thread m_thread;
};

namespace {

// One request while its body arrives.
struct Pending {
    std::string target;  // as sent
    bool started = false;
    bool admitted = false;
    std::string body;
    bool tooLarge = false;
    size_t discarded = 0;
};
constexpr size_t kMaxDiscarded = 64 * 1024;

// One event stream: what is still to be written and the last record it was sent.
struct Stream {
    EventHub* hub;
    int fd;
    std::string out;
    size_t offset = 0;
    uint64_t seen = 0;
    Clock::time_point lastSent;
};

ssize_t ReadStream(void* cls, uint64_t, char* buf, size_t max) {
    Stream* s = static_cast<Stream*>(cls);
    while (s->offset == s->out.size()) {
        s->out.clear();
        s->offset = 0;
        if (!s->hub->Next(s->seen, s->out, WebServer::kStreamCheckMs, s->lastSent))
            return MHD_CONTENT_READER_END_OF_STREAM;
        // A client that went away frees its place now, not at the next heartbeat's write.
        if (s->out.empty() && ConnectionTable::PeerGone(s->fd))
            return MHD_CONTENT_READER_END_OF_STREAM;
    }
    size_t n = std::min(max, s->out.size() - s->offset);
    std::memcpy(buf, s->out.data() + s->offset, n);
    s->offset += n;
    return static_cast<ssize_t>(n);
}

void FreeStream(void* cls) {
    Stream* s = static_cast<Stream*>(cls);
    s->hub->StreamClosed();
    delete s;
}

MHD_Result Send(MHD_Connection* connection, const WebResponse& r) {
    MHD_Response* response = MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, r.contentType.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    if (r.contentType.compare(0, 9, "text/html") == 0) {
        MHD_add_response_header(response, "Content-Security-Policy",
                                "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    }
    if (!r.allow.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, r.allow.c_str());
    if (r.status == 401)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
    if (r.retryAfterS > 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, std::to_string(r.retryAfterS).c_str());
    if (r.status == 503)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_Result ret = MHD_queue_response(connection, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return ret;
}

MHD_Result StartStream(MHD_Connection* connection, EventHub* hub, int fd) {
    Stream* s = new (std::nothrow) Stream{hub, fd, std::string(), 0, 0, Clock::now()};
    if (s == nullptr)
        return MHD_NO;
    s->out = hub->Greeting(s->seen);
    hub->StreamOpened();
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, ReadStream, s, FreeStream);
    if (response == nullptr) {
        FreeStream(s);
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_Result ret = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return ret;
}

Connection* ConnectionOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<Connection*>(info->socket_context) : nullptr;
}

MHD_Result CountHost(void* cls, MHD_ValueKind, const char* key, const char* value) {
    WebRequest* r = static_cast<WebRequest*>(cls);
    if (strcasecmp(key, MHD_HTTP_HEADER_HOST) == 0 && r->hostHeaders++ == 0)
        r->host = value != nullptr ? value : "";
    return MHD_YES;
}

// What a request says of itself once its headers are in.
WebRequest Headers(MHD_Connection* connection, const char* url, const char* method, const Pending& p,
                   const Connection* c) {
    WebRequest r;
    r.method = method;
    r.target = p.target;
    r.path = url;
    r.token = WebApi::RequestToken(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization"),
                                   MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token"));
    MHD_get_connection_values(connection, MHD_HEADER_KIND, CountHost, &r);
    r.origin = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Origin");
    r.fetchSite = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Sec-Fetch-Site");
    r.contentType = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    if (c != nullptr) {
        r.client = c->client;
        r.local = c->local;
    }
    return r;
}

void* OnUri(void*, const char* uri, MHD_Connection*) {
    Pending* p = new (std::nothrow) Pending;
    if (p != nullptr && uri != nullptr)
        p->target = uri;
    return p;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* upload, size_t* uploadSize, void** state) {
    WebServer* server = static_cast<WebServer*>(cls);
    Pending* p = static_cast<Pending*>(*state);
    if (p == nullptr)
        return MHD_NO;
    Connection* c = ConnectionOf(connection);
    if (!p->started) {
        p->started = true;
        // The headers are in: a place to serve it, or an answer that there is none.
        std::string why;
        const WebRequest early = Headers(connection, url, method, *p, c);
        if (c != nullptr && !server->Connections().Admit(c, server->Api().Privileged(early), why)) {
            WebResponse busy;
            busy.status = 503;
            busy.retryAfterS = 1;
            busy.body = nlohmann::json{{"error", why}}.dump();
            return Send(connection, busy);
        }
        // A declared length over the limit is refused before any of the body is read.
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        p->tooLarge = length != nullptr && std::strtoull(length, nullptr, 10) > WebApi::kMaxBody;
        if (!p->tooLarge)
            return MHD_YES;
    }
    if (*uploadSize != 0) {
        // libmicrohttpd answers only once the body is in: a body without a declared length
        // that grows too large is read on and dropped, for the 413, up to a bound.
        if (!p->tooLarge && p->body.size() + *uploadSize <= WebApi::kMaxBody) {
            p->body.append(upload, *uploadSize);
        } else {
            p->discarded += *uploadSize + p->body.size();
            p->body.clear();
            p->tooLarge = true;
            if (p->discarded > kMaxDiscarded)
                return MHD_NO;  // closes the connection
        }
        *uploadSize = 0;
        return MHD_YES;
    }
    if (c != nullptr)
        server->Connections().RequestIn(c);
    WebRequest request = Headers(connection, url, method, *p, c);
    request.body = std::move(p->body);
    request.bodyTooLarge = p->tooLarge;
    WebResponse response = server->Api().Handle(request);
    if (!response.logLine.empty())
        WEB_LOG(ZR_LOG_INFO, "%s", response.logLine.c_str());
    return response.stream && c != nullptr ? StartStream(connection, &server->Hub(), c->fd)
                                           : Send(connection, response);
}

void OnCompleted(void* cls, MHD_Connection* connection, void** state, MHD_RequestTerminationCode) {
    delete static_cast<Pending*>(*state);
    *state = nullptr;
    Connection* c = ConnectionOf(connection);
    if (c != nullptr)
        static_cast<WebServer*>(cls)->Connections().RequestDone(c);
}

MHD_Result OnAccept(void* cls, const sockaddr* addr, socklen_t) {
    return static_cast<WebServer*>(cls)->Connections().MayConnect(addr) ? MHD_YES : MHD_NO;
}

void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                  MHD_ConnectionNotificationCode code) {
    ConnectionTable& table = static_cast<WebServer*>(cls)->Connections();
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const MHD_ConnectionInfo* addr =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        *socketContext = fd != nullptr
                             ? table.Opened(fd->connect_fd, addr != nullptr ? addr->client_addr : nullptr)
                             : nullptr;
    } else if (*socketContext != nullptr) {
        table.Closed(static_cast<Connection*>(*socketContext));
        *socketContext = nullptr;
    }
}

void OnLibraryMessage(void*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    text[strcspn(text, "\n")] = '\0';
    WEB_LOG(ZR_LOG_ERR, "libmicrohttpd: %s", text);
}

}  // namespace

WebServer::WebServer(std::shared_ptr<WebApi> api, std::shared_ptr<EventHub> hub)
    : m_api(std::move(api)), m_hub(std::move(hub)) {}

WebServer::~WebServer() {
    Stop();
}

int WebServer::Start(const WebConfig& config, std::string& error) {
    sockaddr_storage addr{};
    unsigned flags =
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG;
    const std::string host = config.address == "localhost" ? "127.0.0.1" : config.address;
    sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(config.port));
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(config.port));
        flags |= MHD_USE_IPv6;
    } else {
        error = "address '" + config.address + "' is not a numeric IPv4 or IPv6 address";
        return -1;
    }
    m_connections.reset(new (std::nothrow) ConnectionTable(config));
    if (m_connections == nullptr || m_connections->Start() != 0) {
        error = "cannot start the connection watch";
        m_connections.reset();
        return -1;
    }
    m_daemon = MHD_start_daemon(
        flags, 0, OnAccept, this, OnRequest, this, MHD_OPTION_EXTERNAL_LOGGER, OnLibraryMessage, nullptr,
        MHD_OPTION_SOCK_ADDR, &addr, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(config.maxConnections + kOverflowConnections), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(config.idleTimeoutS), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        static_cast<size_t>(32 * 1024), MHD_OPTION_THREAD_STACK_SIZE, static_cast<size_t>(256 * 1024),
        MHD_OPTION_URI_LOG_CALLBACK, OnUri, nullptr, MHD_OPTION_NOTIFY_COMPLETED, OnCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, OnConnection, this, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        m_connections.reset();
        error = "cannot listen on " + config.address + " port " + std::to_string(config.port) + ": " +
                std::strerror(errno);
        return -1;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr ? info->port : config.port;
    m_api->SetPort(m_port);
    return 0;
}

void WebServer::Stop() {
    if (m_daemon == nullptr)
        return;
    m_hub->Stop();
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_connections.reset();
}
