// A plug-in library for the loader tests. TEST_PLUGIN_KIND selects its factory:
// 1 a working one, 2 none at all, 3 one that returns null.
#include "PluginInterface.h"
#include "zrlog.h"

namespace {

class TestPlugin : public PluginInterface {
  public:
    using PluginInterface::PluginInterface;
    ~TestPlugin() override { ROOT_LOG(ZR_LOG_INFO, "test plugin %s destroyed", m_name.c_str()); }
    int Init(const std::shared_ptr<VirtualEventBus>&, const std::shared_ptr<CZRAVBufMng>&) override {
        return 0;
    }
    int UnInit() override {
        ROOT_LOG(ZR_LOG_INFO, "test plugin %s UnInit", m_name.c_str());
        return 0;
    }
};

}  // namespace

#if TEST_PLUGIN_KIND == 1
extern "C" PluginInterface* CreatePlugin(const char* path) {
    ROOT_LOG(ZR_LOG_INFO, "test plugin factory got %s", path);
    return new TestPlugin(TEST_PLUGIN_NAME);
}
#elif TEST_PLUGIN_KIND == 3
extern "C" PluginInterface* CreatePlugin(const char*) {
    return nullptr;
}
#endif
