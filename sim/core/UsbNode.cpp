#include "UsbNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace camsim {

namespace {

std::string ThreeDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", n);
    return text;
}

}  // namespace

UsbNode UsbNode::FromEnvironment() {
    const char* env = std::getenv("CAMSIM_USB_DEVFS");
    return UsbNode(env != nullptr ? env : "");
}

UsbNode::UsbNode(std::string devfs) : m_devfs(std::move(devfs)) {}

std::string UsbNode::PortPath() {
    return "usb:" + ThreeDigits(kUsbBus) + "," + ThreeDigits(kUsbDevice);
}

std::string UsbNode::BusPath() const {
    return m_devfs + "/" + ThreeDigits(kUsbBus);
}

std::string UsbNode::NodePath() const {
    return BusPath() + "/" + ThreeDigits(kUsbDevice);
}

bool UsbNode::Exists() const {
    struct stat st;
    return Active() && ::stat(NodePath().c_str(), &st) == 0;
}

int UsbNode::Create(std::string* error) const {
    if (!Active())
        return 0;
    if (Remove(error) != 0)
        return -1;
    // Only the bus directory is ours to make: a missing device directory means there is
    // nothing that could watch it.
    if (::mkdir(BusPath().c_str(), 0755) != 0 && errno != EEXIST) {
        *error = BusPath() + ": " + std::strerror(errno);
        return -1;
    }
    int fd = ::open(NodePath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
    if (fd < 0) {
        *error = NodePath() + ": " + std::strerror(errno);
        return -1;
    }
    ::close(fd);
    return 0;
}

int UsbNode::Remove(std::string* error) const {
    if (!Active())
        return 0;
    if (::unlink(NodePath().c_str()) != 0 && errno != ENOENT) {
        *error = NodePath() + ": " + std::strerror(errno);
        return -1;
    }
    return 0;
}

}  // namespace camsim
