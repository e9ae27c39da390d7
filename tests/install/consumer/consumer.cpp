// Uses what the package offers a host: the event bus of the host contracts, a utility function
// and the plug-in loader that libPluginCameraCtrl.so exports, and the plug-in itself.
#include <cstdio>
#include <cstring>
#include <memory>

#include "CameraParams.h"
#include "FileUtils.h"
#include "PluginManager.h"
#include "VirtualEventBus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer PLUGIN_LIBRARY\n");
        return 2;
    }
    auto bus = std::make_shared<VirtualEventBus>();
    int owner = 0;
    bus->Subscribe(CAMERA_SET_ISO_EVENT, {[](void* data, int length) {
                                              std::printf("bus: event %d, %d bytes, \"%s\"\n",
                                                          CAMERA_SET_ISO_EVENT, length,
                                                          static_cast<const char*>(data));
                                          },
                                          &owner});
    char payload[100] = "800";
    bus->Publish(CAMERA_SET_ISO_EVENT, payload, sizeof(payload));

    char text[] = "  f/2.8 \t";
    std::printf("trim: \"%s\"\n", trim(text));

    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(argv[1]);
    if (plugin == nullptr) {
        std::printf("plugin: not loaded\n");
        return 1;
    }
    std::printf("plugin: %s\n", plugin->GetName().c_str());
    return 0;
}
