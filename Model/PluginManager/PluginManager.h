// Loads plug-in libraries through their "CreatePlugin" factory and owns them.
#pragma once

#include <list>
#include <string>

#include "PluginInterface.h"

class PluginManager {
  public:
    PluginManager() = default;
    ~PluginManager();

    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    PluginInterface* LoadPlugin(const char* path);
    PluginInterface* LoadPlugin(const std::string& path);
    void UnLoadPlugin(PluginInterface* plugin);

  private:
    PluginInterface* Adopt(void* handle, PluginInterface* plugin);
    void Unload(PluginInterface* plugin);

    std::list<PluginInterface*> m_plugins;
};
