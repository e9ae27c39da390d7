#include "PortGlue.h"

#include <gphoto2/gphoto2-port-result.h>

#include <cstdlib>

#include "StateStore.h"
#include "UsbNode.h"

namespace camsim {

GPPortOperations* NewPortOperations() {
    return static_cast<GPPortOperations*>(std::calloc(1, sizeof(GPPortOperations)));
}

int ListSimulatedPort(GPPortInfoList* list) {
    StateStore(StateDirFromEnvironment()).CountScan();
    GPPortInfo info;
    int rc = gp_port_info_new(&info);
    if (rc < GP_OK)
        return rc;
    gp_port_info_set_type(info, GP_PORT_USB);
    gp_port_info_set_name(info, "");
    gp_port_info_set_path(info, "^usb:");
    gp_port_info_list_append(list, info);  // -1 for a generic entry is no error

    UsbNode node = UsbNode::FromEnvironment();
    if (node.Active() && !node.Exists())
        return GP_OK;
    rc = gp_port_info_new(&info);
    if (rc < GP_OK)
        return rc;
    gp_port_info_set_type(info, GP_PORT_USB);
    gp_port_info_set_name(info, "Universal Serial Bus");
    gp_port_info_set_path(info, UsbNode::PortPath().c_str());
    rc = gp_port_info_list_append(list, info);
    return rc < GP_OK ? rc : GP_OK;
}

}  // namespace camsim
