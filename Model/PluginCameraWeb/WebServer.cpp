#include "WebServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WebLog.h"

namespace {

// One request while its body arrives.
struct Pending {
    std::string body;
    bool tooLarge = false;
    size_t discarded = 0;
};
constexpr size_t kMaxDiscarded = 64 * 1024;

// One event stream: what is still to be written and the last record it was sent.
struct Stream {
    EventHub* hub;
    std::string out;
    size_t offset = 0;
    uint64_t seen = 0;
};

ssize_t ReadStream(void* cls, uint64_t, char* buf, size_t max) {
    Stream* s = static_cast<Stream*>(cls);
    if (s->offset == s->out.size()) {
        s->out.clear();
        s->offset = 0;
        if (!s->hub->Next(s->seen, s->out))
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
    MHD_Result ret = MHD_queue_response(connection, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return ret;
}

MHD_Result StartStream(MHD_Connection* connection, EventHub* hub) {
    Stream* s = new Stream{hub, std::string(), 0, 0};
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

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* upload, size_t* uploadSize, void** state) {
    WebServer* server = static_cast<WebServer*>(cls);
    if (*state == nullptr) {
        Pending* p = new Pending;
        *state = p;
        // A declared length over the limit is refused before any of the body is read.
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        p->tooLarge = length != nullptr && std::strtoull(length, nullptr, 10) > WebApi::kMaxBody;
        if (!p->tooLarge)
            return MHD_YES;
    }
    Pending* p = static_cast<Pending*>(*state);
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
    WebRequest request;
    request.method = method;
    request.path = url;
    request.token =
        WebApi::RequestToken(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization"),
                             MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token"));
    request.body = std::move(p->body);
    request.bodyTooLarge = p->tooLarge;
    WebResponse response = server->Api().Handle(request);
    if (response.status >= 400)
        WEB_LOG(ZR_LOG_INFO, "%s %s: %d %s", method, url, response.status, response.body.c_str());
    return response.stream ? StartStream(connection, &server->Hub()) : Send(connection, response);
}

void OnCompleted(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<Pending*>(*state);
    *state = nullptr;
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
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, OnRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
                                OnLibraryMessage, nullptr, MHD_OPTION_SOCK_ADDR, &addr,
                                MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(config.maxConnections),
                                MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(config.idleTimeoutS),
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(32 * 1024),
                                MHD_OPTION_THREAD_STACK_SIZE, static_cast<size_t>(256 * 1024),
                                MHD_OPTION_NOTIFY_COMPLETED, OnCompleted, nullptr, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        error = "cannot listen on " + config.address + " port " + std::to_string(config.port) + ": " +
                std::strerror(errno);
        return -1;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr ? info->port : config.port;
    return 0;
}

void WebServer::Stop() {
    if (m_daemon == nullptr)
        return;
    m_hub->Stop();
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}
