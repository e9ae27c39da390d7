// Tells cheaply whether anything that libgphoto2's camera detection reads may have changed
// since the watch was armed:
//   - the kernel's USB device nodes /dev/bus/usb/BBB/DDD (a USB camera comes or goes),
//   - the device nodes directly in /dev (sdX, sgN: USB mass storage for the usbscsi and
//     usbdiskdirect ports),
//   - the mount table and /etc/fstab (the disk ports are mount points), and the DCIM
//     folders of those mount points (a mount point is a camera when it has one).
// devtmpfs makes and removes the nodes even without a udev daemon, and the kernel flags a
// changed mount table on /proc/self/mounts, so nothing here needs more than inotify and poll.
#pragma once

#include <gphoto2/gphoto2-port-info-list.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

class DeviceChangeWatch {
  public:
    DeviceChangeWatch() = default;
    ~DeviceChangeWatch();
    DeviceChangeWatch(const DeviceChangeWatch&) = delete;
    DeviceChangeWatch& operator=(const DeviceChangeWatch&) = delete;

    // Watches the device directories and mount points as they are now, dropping earlier
    // notifications. False when something that should be watched cannot be (no
    // /dev/bus/usb, no inotify, ...); Changed() then keeps answering true.
    bool Arm();

    // Reads what arrived since Arm() or the last call, without waiting. True when any of it
    // concerns something detection reads, or when the watch is not armed.
    bool Changed();

    // True when the arrival or departure of a device on this port would be signalled.
    bool Covers(GPPortType type, const std::string& path) const;

  private:
    // What makes an event of one watched directory count: any entry, or the named ones.
    struct Interest {
        bool anyName = false;
        std::set<std::string> names;
    };
    using Watches = std::map<int, Interest>;

    // Adds dir to the watches; the caller says what in it counts. nullptr (errno set) on failure.
    Interest* Watch(Watches& into, const std::string& dir, uint32_t mask);
    bool WatchUsbBuses(Watches& into);
    bool WatchMountPoints(Watches& into);
    bool WatchMountPoint(Watches& into, const std::string& dir);
    void DropNotifications();
    void Close();

    int m_inotify = -1;
    int m_mounts = -1;
    bool m_armed = false;
    Watches m_watches;
    std::set<std::string> m_usbBuses;  // bus directories watched, e.g. "/dev/bus/usb/001"
};
