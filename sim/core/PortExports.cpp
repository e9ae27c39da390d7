// The exports both simulated USB port libraries share; each library adds its own
// gp_port_library_operations.
#include <gphoto2/gphoto2-port-info-list.h>

#include "PortGlue.h"

extern "C" {

__attribute__((visibility("default"))) GPPortType gp_port_library_type() {
    return GP_PORT_USB;
}

__attribute__((visibility("default"))) int gp_port_library_list(GPPortInfoList* list) {
    return camsim::ListSimulatedPort(list);
}

}  // extern "C"
