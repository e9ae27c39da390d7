#include "PluginManager.h"

#include <dlfcn.h>

#include <algorithm>

#include "zrlog.h"

namespace {
const char* LoaderError() {
    const char* err = dlerror();
    return err != nullptr ? err : "";
}
}  // namespace

PluginManager::~PluginManager() {
    while (!m_plugins.empty()) {
        PluginInterface* plugin = m_plugins.front();
        if (plugin == nullptr) {
            m_plugins.pop_front();
            continue;
        }
        UnLoadPlugin(plugin);
    }
}

PluginInterface* PluginManager::LoadPlugin(const char* path) {
    if (path == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return nullptr;
    }
    dlerror();
    void* handle = dlopen(path, RTLD_LAZY);
    if (handle == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to dlopen %s[err:%s]", path, LoaderError());
        return nullptr;
    }
    auto create = reinterpret_cast<CreatePluginFunc>(dlsym(handle, "CreatePlugin"));
    if (create == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to dlsym, can not find symbol CreatePlugin[err:%s]", LoaderError());
        dlclose(handle);
        return nullptr;
    }
    PluginInterface* plugin = Adopt(handle, create(path));
    if (plugin != nullptr) {
        ROOT_LOG(ZR_LOG_INFO, "Success to load plugin %s", path);
    }
    return plugin;
}

PluginInterface* PluginManager::LoadPlugin(const std::string& path) {
    if (path.empty()) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    if (handle == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to dlopen %s", path.c_str());
        return nullptr;
    }
    dlerror();
    auto create = reinterpret_cast<CreatePluginFunc>(dlsym(handle, "CreatePlugin"));
    if (dlerror() != nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to dlsym, can not find symbol CreatePlugin");
        dlclose(handle);
        return nullptr;
    }
    // Factories may ignore the path; passing it keeps both overloads alike.
    return Adopt(handle, create != nullptr ? create(path.c_str()) : nullptr);
}

// A factory that returned null leaves its library open, as the loader contract says.
PluginInterface* PluginManager::Adopt(void* handle, PluginInterface* plugin) {
    if (plugin == nullptr) {
        return nullptr;
    }
    plugin->m_handle = handle;
    m_plugins.push_back(plugin);
    return plugin;
}

void PluginManager::UnLoadPlugin(PluginInterface* plugin) {
    if (plugin == nullptr) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return;
    }
    auto it = std::find(m_plugins.begin(), m_plugins.end(), plugin);
    if (it == m_plugins.end()) {
        return;
    }
    ROOT_LOG(ZR_LOG_INFO, "#### erase from list");
    plugin->UnInit();
    m_plugins.erase(it);
    void* handle = plugin->m_handle;
    std::string name = plugin->GetName();
    ROOT_LOG(ZR_LOG_INFO, "Success to unload plugin %s", name.c_str());
    // The object's code lives in the library: delete it before closing.
    delete plugin;
    dlclose(handle);
}
