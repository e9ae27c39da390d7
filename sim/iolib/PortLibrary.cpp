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

#include "StateStore.h"
#include "UsbNode.h"

namespace {

// libgphoto2_port does not install gphoto2-port-library.h; this is its operations table
// for libgphoto2_port 0.12.
struct GPPortOperations {
    int (*init)(GPPort*);
    int (*exit)(GPPort*);
    int (*open)(GPPort*);
    int (*close)(GPPort*);
    int (*read)(GPPort*, char*, int);
    int (*check_int)(GPPort*, char*, int, int);
    int (*write)(GPPort*, const char*, int);
    int (*update)(GPPort*);
    int (*get_pin)(GPPort*, GPPin, GPLevel*);
    int (*set_pin)(GPPort*, GPPin, GPLevel);
    int (*send_break)(GPPort*, int);
    int (*flush)(GPPort*, int);
    int (*find_device)(GPPort*, int, int);
    int (*find_device_by_class)(GPPort*, int, int, int);
    int (*clear_halt)(GPPort*, int);
    int (*msg_write)(GPPort*, int, int, int, char*, int);
    int (*msg_read)(GPPort*, int, int, int, char*, int);
    int (*msg_interface_write)(GPPort*, int, int, int, char*, int);
    int (*msg_interface_read)(GPPort*, int, int, int, char*, int);
    int (*msg_class_write)(GPPort*, int, int, int, char*, int);
    int (*msg_class_read)(GPPort*, int, int, int, char*, int);
    int (*seek)(GPPort*, int, int);
    int (*send_scsi_cmd)(GPPort*, int, char*, int, char*, int, char*, int);
    int (*reset)(GPPort*);
};
static_assert(sizeof(void*) != 8 || sizeof(GPPortOperations) == 192, "layout of libgphoto2_port 0.12");

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

__attribute__((visibility("default"))) GPPortType gp_port_library_type() {
    return GP_PORT_USB;
}

__attribute__((visibility("default"))) int gp_port_library_list(GPPortInfoList* list) {
    camsim::StateStore(camsim::StateDirFromEnvironment()).CountScan();
    GPPortInfo info;
    int rc = gp_port_info_new(&info);
    if (rc < GP_OK)
        return rc;
    gp_port_info_set_type(info, GP_PORT_USB);
    gp_port_info_set_name(info, "");
    gp_port_info_set_path(info, "^usb:");
    gp_port_info_list_append(list, info);  // -1 for a generic entry is no error

    camsim::UsbNode node = camsim::UsbNode::FromEnvironment();
    if (node.Active() && !node.Exists())
        return GP_OK;
    rc = gp_port_info_new(&info);
    if (rc < GP_OK)
        return rc;
    gp_port_info_set_type(info, GP_PORT_USB);
    gp_port_info_set_name(info, "Universal Serial Bus");
    gp_port_info_set_path(info, camsim::UsbNode::PortPath().c_str());
    rc = gp_port_info_list_append(list, info);
    return rc < GP_OK ? rc : GP_OK;
}

// libgphoto2_port frees the table.
__attribute__((visibility("default"))) GPPortOperations* gp_port_library_operations() {
    auto* ops = static_cast<GPPortOperations*>(std::calloc(1, sizeof(GPPortOperations)));
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
