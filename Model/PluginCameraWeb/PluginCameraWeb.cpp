#include "PluginCameraWeb.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "CameraParams.h"
#include "RecordFormat.h"
#include "WebLog.h"

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
    m_server.reset(new (std::nothrow) WebServer(std::make_shared<WebApi>(m_bus, m_hub, m_token), m_hub));
    if (m_server == nullptr || m_server->Start(config, error) != 0) {
        WEB_LOG(ZR_LOG_ERR, "Failed to start the web server: %s", error.c_str());
        UnInit();
        return -1;
    }
    const std::string url =
        "http://" +
        (config.address.find(':') != std::string::npos ? "[" + config.address + "]" : config.address) + ":" +
        std::to_string(m_server->Port()) + "/" +
        (config.generateToken && config.tokenFile.empty() ? "?token=" + m_token : "");
    WEB_LOG(ZR_LOG_INFO, "Listening on %s", url.c_str());
    // The address (and a generated token) is what a user needs first: on standard output too.
    std::printf("camera-web: %s\n", url.c_str());
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
