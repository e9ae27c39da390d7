// What both simulated USB port libraries share with libgphoto2_port: its operations table
// (gphoto2-port-library.h is not installed) and the port list with the one simulated device.
#pragma once

#include <gphoto2/gphoto2-port-info-list.h>
#include <gphoto2/gphoto2-port.h>

namespace camsim {

// The operations table of libgphoto2_port 0.12, in its order.
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

// A zeroed table on the heap (libgphoto2_port frees it); nullptr when out of memory.
GPPortOperations* NewPortOperations();

// gp_port_library_list of a simulated port library: counts the bus scan in the state directory,
// lists the generic USB entry and, while its device node is there (or none is used), the
// simulated device "usb:999,001".
int ListSimulatedPort(GPPortInfoList* list);

}  // namespace camsim
