// Base class of every plug-in of the host.
#pragma once

#include <memory>
#include <string>

class VirtualEventBus;
class CZRAVBufMng;  // the host's audio/video buffer manager; opaque here
class PluginManager;

class PluginInterface {
  public:
    explicit PluginInterface(const char* name) : m_name(name != nullptr ? name : "") {}
    virtual ~PluginInterface() = default;

    PluginInterface(const PluginInterface&) = delete;
    PluginInterface& operator=(const PluginInterface&) = delete;

    virtual int Init(const std::shared_ptr<VirtualEventBus>& bus,
                     const std::shared_ptr<CZRAVBufMng>& bufMng) = 0;
    virtual int UnInit() = 0;
    virtual std::string GetName() const { return m_name; }

  protected:
    friend class PluginManager;
    void* m_handle = nullptr;  // dlopen handle, set by PluginManager
    std::string m_name;
};

// Signature of the factory that a plug-in library exports as "CreatePlugin".
extern "C" {
typedef PluginInterface* (*CreatePluginFunc)(const char* path);
}
