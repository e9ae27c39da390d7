#include "PluginCameraWeb.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>

#include "CameraParams.h"
#include "RecordFormat.h"
#include "WebLog.h"

namespace {

// The names a Host header may give: the loopback names, the address listened on (every
// interface's for a wildcard address) and the configured names. A DNS-rebinding page's name is
// none of them.
std::set<std::string> HostNames(const WebConfig& config) {
    std::set<std::string> names = {"localhost", "127.0.0.1", "::1"};
    names.insert(config.hostNames.begin(), config.hostNames.end());
    std::string name;
    int port = -1;
    if (WebApi::ParseHost(
            config.address.find(':') != std::string::npos ? "[" + config.address + "]" : config.address, name,
            port))
        names.insert(name);
    if (name != "0.0.0.0" && name != "::")
        return names;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return names;
    for (ifaddrs* i = all; i != nullptr; i = i->ifa_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (i->ifa_addr == nullptr)
            continue;
        if (i->ifa_addr->sa_family == AF_INET &&
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof(text)) !=
                nullptr)
            names.insert(text);
        if (i->ifa_addr->sa_family == AF_INET6 &&
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr, text,
                      sizeof(text)) != nullptr)
            names.insert(text);
    }
    freeifaddrs(all);
    return names;
}

}  // namespace

PluginCameraWeb::~PluginCameraWeb() {
    UnInit();
}

int PluginCameraWeb::Init(const std::shared_ptr<VirtualEventBus>& bus, const std::shared_ptr<CZRAVBufMng>&) {
    const char* env = std::getenv("CAMERA_WEB_CONF");
    const std::string path = env != nullptr && env[0] != '\0' ? env : CAMERA_WEB_DEFAULT_CONF;
    WebConfig config;
    std::string error;
    if (config.Load(path, error) != 0) {
        WEB_LOG(ZR_LOG_ERR, "Failed to read the configuration: %s", error.c_str());
        return -1;
    }
    return Start(bus, config);
}

int PluginCameraWeb::Start(const std::shared_ptr<VirtualEventBus>& bus, const WebConfig& config) {
    if (bus == nullptr || m_server != nullptr) {
        WEB_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return -1;
    }
    std::string error;
    if (config.ResolveToken(m_token, error) != 0) {
        WEB_LOG(ZR_LOG_ERR, "Refusing to start: %s", error.c_str());
        return -1;
    }
    m_bus = bus;
    m_hub = std::make_shared<EventHub>(config.heartbeatMs);
    // The callback holds the hub, not the plug-in: the bus may still be running a copy of it
    // after UnSubscribe returns.
    std::shared_ptr<EventHub> hub = m_hub;
    m_bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                     {[hub](void* data, int length) {
                          if (data == nullptr || length != kCameraParamsWireSize)
                              return;
                          hub->Publish(tools::RecordToJson(*static_cast<const CameraParams*>(data))
                                           .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
                      },
                      this});
    WebAccess access;
    access.token = m_token;
    access.hostNames = HostNames(config);
    access.port = config.port;
    m_server.reset(new (std::nothrow) WebServer(std::make_shared<WebApi>(m_bus, m_hub, access), m_hub));
    if (m_server == nullptr || m_server->Start(config, error) != 0) {
        WEB_LOG(ZR_LOG_ERR, "Failed to start the web server: %s", error.c_str());
        UnInit();
        return -1;
    }
    const std::string url =
        "http://" +
        (config.address.find(':') != std::string::npos ? "[" + config.address + "]" : config.address) + ":" +
        std::to_string(m_server->Port()) + "/";
    const bool generated = config.generateToken && config.tokenFile.empty();
    // A generated token is printed once, for the user at the console, and never logged: a log
    // is kept and read by more people and for longer.
    WEB_LOG(ZR_LOG_INFO, "Listening on %s%s", url.c_str(),
            generated ? " (with a generated token, printed on standard output)" : "");
    std::printf("camera-web: %s%s\n", url.c_str(), generated ? ("?token=" + m_token).c_str() : "");
    std::fflush(stdout);
    return 0;
}

int PluginCameraWeb::UnInit() {
    if (m_bus != nullptr)
        m_bus->UnSubscribe(CAMERA_PARAMS_NOTIFY_EVENT, this);
    m_server.reset();  // ends the streams, closes the connections
    m_hub.reset();
    m_bus.reset();
    return 0;
}

int PluginCameraWeb::Port() const {
    return m_server != nullptr ? m_server->Port() : 0;
}

extern "C" PluginInterface* CreatePlugin(const char*) {
    return new (std::nothrow) PluginCameraWeb("PluginCameraWeb");
}
