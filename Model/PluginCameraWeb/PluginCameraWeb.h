// The web remote: a plug-in beside the camera plug-in that shows the published records in a
// browser and turns the browser's requests into set requests, on the bus only.
#pragma once

#include <memory>
#include <string>

#include "EventHub.h"
#include "PluginInterface.h"
#include "VirtualEventBus.h"
#include "WebConfig.h"
#include "WebServer.h"

class PluginCameraWeb : public PluginInterface {
  public:
    explicit PluginCameraWeb(const char* name) : PluginInterface(name) {}
    ~PluginCameraWeb() override;

    // Reads the configuration file ($CAMERA_WEB_CONF, else the installed camera-web.conf) and
    // starts. A bad file, a non-loopback address without a token or a port in use: -1.
    int Init(const std::shared_ptr<VirtualEventBus>& bus,
             const std::shared_ptr<CZRAVBufMng>& bufMng) override;
    int UnInit() override;

    // Init with a configuration at hand.
    int Start(const std::shared_ptr<VirtualEventBus>& bus, const WebConfig& config);
    int Port() const;  // the port listened on, 0 when not started
    std::shared_ptr<EventHub> Hub() const { return m_hub; }

  private:
    std::shared_ptr<VirtualEventBus> m_bus;
    std::shared_ptr<EventHub> m_hub;
    std::unique_ptr<WebServer> m_server;
    std::string m_token;
};
