// A USB-type port library with one simulated device. The device answers a probe for the
// vendor/product ids of the camera plugged in the state directory ($CAMSIM_STATE_DIR) and
// nothing while it is unplugged. Data transfer is not used: the camera library talks to the
// state directory, not to the port. With $CAMSIM_USB_DEVFS the port is listed only while its
// device node is there, as libusb lists only the devices the kernel has; every listing is
// counted in the state directory.
#include <gphoto2/gphoto2-port-info-list.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-port.h>

#include <cstdlib>

#include "PortGlue.h"
#include "StateStore.h"

namespace {

using camsim::GPPortOperations;

bool Plugged(camsim::PlugRecord* plug) {
    camsim::StateStore store(camsim::StateDirFromEnvironment());
    return store.ReadPlug(plug) && plug->plugged;
}

int Ok(GPPort*) {
    return GP_OK;
}

int Open(GPPort*) {
    camsim::PlugRecord plug;
    return Plugged(&plug) ? GP_OK : GP_ERROR_IO_USB_FIND;
}

// Detection probes every known model: "not here" must be exactly GP_ERROR_IO_USB_FIND.
int FindDevice(GPPort*, int vendor, int product) {
    camsim::PlugRecord plug;
    if (Plugged(&plug) && plug.usbVendor == vendor && plug.usbProduct == product)
        return GP_OK;
    return GP_ERROR_IO_USB_FIND;
}

int FindDeviceByClass(GPPort*, int, int, int) {
    return GP_ERROR_IO_USB_FIND;
}

int NoTransfer(GPPort*, char*, int) {
    return GP_ERROR_NOT_SUPPORTED;
}
int NoWrite(GPPort*, const char*, int) {
    return GP_ERROR_NOT_SUPPORTED;
}

}  // namespace

extern "C" {

// libgphoto2_port frees the table.
__attribute__((visibility("default"))) GPPortOperations* gp_port_library_operations() {
    auto* ops = camsim::NewPortOperations();
    if (!ops)
        return nullptr;
    ops->init = Ok;
    ops->exit = Ok;
    ops->open = Open;
    ops->close = Ok;
    ops->read = NoTransfer;
    ops->write = NoWrite;
    ops->update = Ok;
    ops->find_device = FindDevice;
    ops->find_device_by_class = FindDeviceByClass;
    return ops;
}

}  // extern "C"
