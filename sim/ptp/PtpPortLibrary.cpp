// A USB-type port library with one simulated PTP body on it: the plugged camera's real USB
// ids, a still-image interface (class 6/1/1) with bulk-in, bulk-out and interrupt endpoints,
// and PTP containers on those pipes (PtpDevice). libgphoto2's own ptp2 driver drives it as it
// drives the body on a cable. The body is the one plugged in $CAMSIM_STATE_DIR; with
// $CAMSIM_USB_DEVFS the port is listed only while its device node is there.
#include <gphoto2/gphoto2-port-info-list.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-port.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "PortGlue.h"
#include "PtpDevice.h"
#include "StateStore.h"

struct _GPPortPrivateLibrary {
    camsim::ptp::PtpDevice* device;
};

namespace {

using camsim::GPPortOperations;

// A high-speed still-image interface as the bodies describe it.
constexpr int kBulkIn = 0x81, kBulkOut = 0x02, kInterrupt = 0x83, kMaxPacket = 512;
// PTP still-image class, subclass and protocol.
constexpr int kClass = 6, kSubclass = 1, kProtocol = 1;

camsim::ptp::PtpDevice* Device(GPPort* port) {
    return port && port->pl ? port->pl->device : nullptr;
}

bool PlugOf(camsim::PlugRecord* plug) {
    camsim::StateStore store(camsim::StateDirFromEnvironment());
    return store.ReadPlug(plug) && plug->plugged && plug->ptpVendor != 0;
}

void Describe(GPPort* port) {
    for (GPPortSettings* s : {&port->settings, &port->settings_pending}) {
        s->usb.inep = kBulkIn;
        s->usb.outep = kBulkOut;
        s->usb.intep = kInterrupt;
        s->usb.config = 1;
        s->usb.interface = 0;
        s->usb.altsetting = 0;
        s->usb.maxpacketsize = kMaxPacket;
    }
}

int Init(GPPort* port) {
    auto* pl = static_cast<_GPPortPrivateLibrary*>(std::calloc(1, sizeof(_GPPortPrivateLibrary)));
    if (!pl)
        return GP_ERROR_NO_MEMORY;
    pl->device = new (std::nothrow) camsim::ptp::PtpDevice(camsim::StateDirFromEnvironment());
    if (!pl->device) {
        std::free(pl);
        return GP_ERROR_NO_MEMORY;
    }
    port->pl = pl;
    return GP_OK;
}

int Exit(GPPort* port) {
    if (port->pl) {
        delete port->pl->device;
        std::free(port->pl);
        port->pl = nullptr;
    }
    return GP_OK;
}

int Open(GPPort* port) {
    camsim::ptp::PtpDevice* d = Device(port);
    return d ? d->Open() : GP_ERROR_BAD_PARAMETERS;
}

int Close(GPPort* port) {
    if (camsim::ptp::PtpDevice* d = Device(port))
        d->Close();
    return GP_OK;
}

int Read(GPPort* port, char* data, int size) {
    camsim::ptp::PtpDevice* d = Device(port);
    return d ? d->Read(reinterpret_cast<uint8_t*>(data), size, port->timeout) : GP_ERROR_BAD_PARAMETERS;
}

int Write(GPPort* port, const char* data, int size) {
    camsim::ptp::PtpDevice* d = Device(port);
    return d ? d->Write(reinterpret_cast<const uint8_t*>(data), size) : GP_ERROR_BAD_PARAMETERS;
}

int CheckInt(GPPort* port, char* data, int size, int timeout) {
    camsim::ptp::PtpDevice* d = Device(port);
    return d ? d->CheckInterrupt(reinterpret_cast<uint8_t*>(data), size, timeout) : GP_ERROR_BAD_PARAMETERS;
}

int ClearHalt(GPPort* port, int) {
    if (camsim::ptp::PtpDevice* d = Device(port))
        d->ClearHalt();
    return GP_OK;
}

int Ok(GPPort*) {
    return GP_OK;
}

// Detection probes every known model: "not here" must be exactly GP_ERROR_IO_USB_FIND.
int FindDevice(GPPort* port, int vendor, int product) {
    camsim::PlugRecord plug;
    if (!PlugOf(&plug) || plug.ptpVendor != vendor || plug.ptpProduct != product)
        return GP_ERROR_IO_USB_FIND;
    Describe(port);
    return GP_OK;
}

int FindDeviceByClass(GPPort* port, int cls, int subclass, int protocol) {
    camsim::PlugRecord plug;
    if (!PlugOf(&plug) || cls != kClass || (subclass != -1 && subclass != kSubclass) ||
        (protocol != -1 && protocol != kProtocol))
        return GP_ERROR_IO_USB_FIND;
    Describe(port);
    return GP_OK;
}

// Class requests (cancel, device reset, status) come only after errors: answer them as done.
int ClassWrite(GPPort* port, int, int, int, char*, int) {
    if (camsim::ptp::PtpDevice* d = Device(port))
        d->Reset();
    return GP_OK;
}

int ClassRead(GPPort*, int request, int, int, char* data, int size) {
    // Get Device Status (0x67): length 4, code OK.
    if (request == 0x67 && size >= 4) {
        const unsigned char status[4] = {4, 0, 0x01, 0x20};
        std::memcpy(data, status, 4);
        return 4;
    }
    return 0;
}

}  // namespace

extern "C" {

// libgphoto2_port frees the table.
__attribute__((visibility("default"))) GPPortOperations* gp_port_library_operations() {
    auto* ops = camsim::NewPortOperations();
    if (!ops)
        return nullptr;
    ops->init = Init;
    ops->exit = Exit;
    ops->open = Open;
    ops->close = Close;
    ops->read = Read;
    ops->write = Write;
    ops->check_int = CheckInt;
    ops->update = Ok;
    ops->find_device = FindDevice;
    ops->find_device_by_class = FindDeviceByClass;
    ops->clear_halt = ClearHalt;
    ops->msg_class_write = ClassWrite;
    ops->msg_class_read = ClassRead;
    return ops;
}

}  // extern "C"
