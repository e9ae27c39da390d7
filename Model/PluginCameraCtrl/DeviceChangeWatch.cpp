#include "DeviceChangeWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

const char kDev[] = "/dev";
const char kUsbDevfs[] = "/dev/bus/usb";
const char kEtc[] = "/etc";

// A watched directory that disappears takes its notifications with it.
constexpr uint32_t kSelf = IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kEntries = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | kSelf;
// A USB node's mode decides whether libusb may open it.
constexpr uint32_t kUsbNodes = kEntries | IN_ATTRIB;
// fstab may be rewritten in place.
constexpr uint32_t kTables = kEntries | IN_CLOSE_WRITE | IN_ATTRIB;

// The tables libgphoto2's disk port driver reads its mount points from, and the folders
// that make a mount point a camera for it.
const char* const kMountTables[] = {"/etc/fstab", "/etc/mtab"};
const char* const kCameraFolders[] = {"DCIM", "dcim"};

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Relative mount points (fstab's "none" for swap) are looked up from the working directory.
std::string Parent(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Name(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

DeviceChangeWatch::~DeviceChangeWatch() {
    Close();
}

void DeviceChangeWatch::Close() {
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_mounts >= 0)
        ::close(m_mounts);
    m_inotify = m_mounts = -1;
    m_armed = false;
    m_watches.clear();
    m_usbBuses.clear();
}

bool DeviceChangeWatch::Arm() {
    m_armed = false;
    if (m_inotify < 0)
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_mounts < 0)
        m_mounts = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (m_inotify < 0 || m_mounts < 0) {
        Close();
        return false;
    }
    Watches watches;
    // Without the USB nodes nothing else would help: detection runs every time anyway.
    bool ok = WatchUsbBuses(watches);
    if (ok) {
        Interest* dev = Watch(watches, kDev, kEntries);
        Interest* etc = Watch(watches, kEtc, kTables);
        if (dev != nullptr && etc != nullptr) {
            dev->anyName = true;
            for (const char* table : kMountTables)
                etc->names.insert(Name(table));
        } else {
            ok = false;
        }
        ok = WatchMountPoints(watches) && ok;
    }
    for (const auto& old : m_watches) {
        if (watches.count(old.first) == 0)
            inotify_rm_watch(m_inotify, old.first);
    }
    m_watches = std::move(watches);
    // Whoever armed is about to look at everything as it is now.
    DropNotifications();
    m_armed = ok;
    return ok;
}

DeviceChangeWatch::Interest* DeviceChangeWatch::Watch(Watches& into, const std::string& dir, uint32_t mask) {
    // One directory may be watched for several reasons: the masks add up.
    int wd = inotify_add_watch(m_inotify, dir.c_str(), mask | IN_ONLYDIR | IN_MASK_ADD);
    return wd < 0 ? nullptr : &into[wd];
}

// New buses appear as directories in /dev/bus/usb; each bus directory holds its devices' nodes.
bool DeviceChangeWatch::WatchUsbBuses(Watches& into) {
    m_usbBuses.clear();
    Interest* root = Watch(into, kUsbDevfs, kEntries);
    DIR* dir = root != nullptr ? ::opendir(kUsbDevfs) : nullptr;
    if (dir == nullptr)
        return false;
    root->anyName = true;
    bool ok = true;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::string bus = std::string(kUsbDevfs) + "/" + entry->d_name;
        struct stat st;
        if (::stat(bus.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (Interest* nodes = Watch(into, bus, kUsbNodes)) {
            nodes->anyName = true;
            m_usbBuses.insert(bus);
        } else {
            ok = false;
        }
    }
    ::closedir(dir);
    return ok;
}

bool DeviceChangeWatch::WatchMountPoints(Watches& into) {
    bool ok = true;
    for (const char* table : kMountTables) {
        FILE* file = setmntent(table, "r");
        if (file == nullptr)
            continue;  // the driver skips a missing table as well; /etc is watched for it
        struct mntent entry;
        char buffer[4096];
        while (getmntent_r(file, &entry, buffer, sizeof buffer) != nullptr)
            ok = WatchMountPoint(into, entry.mnt_dir) && ok;
        endmntent(file);
    }
    return ok;
}

// The driver takes a mount point with a DCIM (or dcim) folder for a camera. A mount point
// that does not exist yet can only get one after it is made, which its nearest existing
// parent reports. Nothing can be found below a file, nor below a directory this process may
// not search.
bool DeviceChangeWatch::WatchMountPoint(Watches& into, const std::string& mountPoint) {
    std::string dir = WithoutTrailingSlashes(mountPoint);
    if (Interest* folders = Watch(into, dir, kEntries)) {
        for (const char* folder : kCameraFolders)
            folders->names.insert(folder);
        return true;
    }
    if (errno == ENOTDIR)
        return true;
    if (errno == EACCES)
        return ::access(dir.c_str(), X_OK) != 0 && errno == EACCES;
    while (errno == ENOENT && dir != "/" && dir != ".") {
        std::string missing = Name(dir);
        dir = Parent(dir);
        if (Interest* parent = Watch(into, dir, kEntries)) {
            parent->names.insert(missing);
            return true;
        }
    }
    return false;
}

void DeviceChangeWatch::DropNotifications() {
    alignas(inotify_event) char buffer[4096];
    while (::read(m_inotify, buffer, sizeof buffer) > 0 || errno == EINTR) {
    }
    pollfd mounts = {m_mounts, POLLPRI, 0};
    ::poll(&mounts, 1, 0);  // reading the flag clears it
}

bool DeviceChangeWatch::Changed() {
    if (!m_armed)
        return true;
    bool changed = false;
    pollfd mounts = {m_mounts, POLLPRI, 0};
    if (::poll(&mounts, 1, 0) > 0 && (mounts.revents & (POLLPRI | POLLERR)) != 0)
        changed = true;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                changed = true;
                continue;
            }
            auto watch = m_watches.find(event->wd);
            if (watch == m_watches.end())
                continue;  // a directory no longer of interest
            if ((event->mask & (kSelf | IN_IGNORED | IN_UNMOUNT)) != 0 || watch->second.anyName ||
                (event->len > 0 && watch->second.names.count(event->name) > 0)) {
                changed = true;
            }
        }
    }
    // What was read is gone: until armed again, everything counts as changed.
    if (changed)
        m_armed = false;
    return changed;
}

bool DeviceChangeWatch::Covers(GPPortType type, const std::string& path) const {
    if (!m_armed)
        return false;
    size_t colon = path.find(':');
    std::string rest = colon == std::string::npos ? std::string() : path.substr(colon + 1);
    switch (type) {
        case GP_PORT_USB: {
            // Listed when the bus holds no device that might be a camera: any new device
            // makes a node in one of the watched bus directories.
            if (path == "usb:")
                return true;
            // libusb names a device "usb:BUS,DEVICE"; the kernel's node is /dev/bus/usb/BBB/DDD.
            int bus = 0;
            int device = 0;
            char tail = 0;
            if (std::sscanf(path.c_str(), "usb:%d,%d%c", &bus, &device, &tail) != 2)
                return false;
            char busDir[64];
            char node[80];
            std::snprintf(busDir, sizeof busDir, "%s/%03d", kUsbDevfs, bus);
            std::snprintf(node, sizeof node, "%s/%03d", busDir, device);
            return m_usbBuses.count(busDir) > 0 && Exists(node);
        }
        case GP_PORT_USB_SCSI:
        case GP_PORT_USB_DISK_DIRECT:
            // "usbscsi:/dev/sg0", "usbdiskdirect:/dev/sdb": nodes directly in /dev.
            return rest.compare(0, 5, "/dev/") == 0 && rest.find('/', 5) == std::string::npos && Exists(rest);
        case GP_PORT_DISK:
            return true;
        case GP_PORT_PTPIP:
            // Detection names a PTP/IP camera only for an address found on the network,
            // which nothing here would notice.
            return rest.empty();
        case GP_PORT_SERIAL:
        case GP_PORT_IP:
            return true;  // detection never reports a camera on these
        default:
            return false;
    }
}
