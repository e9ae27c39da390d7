// Lets a test process see its own files at fixed system paths (a device's debug
// directory, the kernel's USB device nodes) without touching the machine: the
// process moves into a private mount namespace and mounts empty tmpfs
// directories there. Programs it starts afterwards share that view.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

class PrivateMounts {
  public:
    // Enters a private mount namespace once per process: as root directly,
    // otherwise inside a new user namespace that maps this user to root.
    // Must run before the process starts threads. False (with the reason)
    // where the system allows neither; the caller should then skip.
    static bool Enter(std::string* why) {
        static int state = 0;  // 0 not tried, 1 entered, -1 refused
        static std::string reason;
        if (state == 0) {
            state = EnterNow(&reason) ? 1 : -1;
        }
        if (state < 0 && why != nullptr)
            *why = reason;
        return state > 0;
    }

    // Mounts an empty tmpfs on `dir` (an existing directory) for the lifetime
    // of the object; everything below `dir` is hidden meanwhile.
    explicit PrivateMounts(const std::string& dir) : m_dir(dir) {
        std::string why;
        if (!Enter(&why)) {
            m_error = why;
            return;
        }
        if (::mount("camctrl-test", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) {
            m_error = "mount tmpfs on " + dir + ": " + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~PrivateMounts() {
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    PrivateMounts(const PrivateMounts&) = delete;
    PrivateMounts& operator=(const PrivateMounts&) = delete;

    bool Ok() const { return m_mounted; }
    const std::string& Error() const { return m_error; }

  private:
    static bool WriteFile(const char* path, const std::string& text) {
        int fd = ::open(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        return ok;
    }

    static bool EnterNow(std::string* why) {
        if (::unshare(CLONE_NEWNS) != 0) {
            uid_t uid = ::getuid();
            gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                *why = std::string("no private mount namespace: ") + std::strerror(errno);
                return false;
            }
            WriteFile("/proc/self/setgroups", "deny");
            if (!WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
                !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n")) {
                *why = "cannot map the user into the new user namespace";
                return false;
            }
        }
        // Nothing mounted here may reach the machine's own namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            *why = std::string("cannot make the mounts private: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    std::string m_dir;
    std::string m_error;
    bool m_mounted = false;
};
