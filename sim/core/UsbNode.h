// The simulated camera's USB device node. The kernel makes /dev/bus/usb/BBB/DDD for every
// device on the bus and removes it when the device leaves; the simulator does the same in
// the directory named by $CAMSIM_USB_DEVFS, so that whoever watches that directory sees a
// simulated plug and unplug as it sees a real one. Without the variable no node is made.
#pragma once

#include <string>

namespace camsim {

// Bus and device number of the simulated camera: port "usb:999,001".
constexpr int kUsbBus = 999;
constexpr int kUsbDevice = 1;

class UsbNode {
  public:
    // The device directory from $CAMSIM_USB_DEVFS ("" when unset).
    static UsbNode FromEnvironment();
    explicit UsbNode(std::string devfs);

    // True when a device directory is configured.
    bool Active() const { return !m_devfs.empty(); }
    // "usb:999,001"
    static std::string PortPath();
    // DEVFS/999/001
    std::string NodePath() const;
    bool Exists() const;

    // Makes the node anew: an old one is removed first, so a watcher sees the device leave
    // and arrive as after a real re-enumeration. The device directory itself must exist;
    // the bus directory is made when missing. 0, or -1 with *error naming path and problem.
    int Create(std::string* error) const;
    // Removes the node; 0 also when there was none.
    int Remove(std::string* error) const;

  private:
    std::string BusPath() const;

    std::string m_devfs;
};

}  // namespace camsim
