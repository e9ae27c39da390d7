// Own files at fixed system paths (a device's debug directory, the USB device nodes) without
// touching the machine: a private mount namespace with empty tmpfs directories, which programs
// started afterwards share.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

class PrivateMounts {
  public:
    // Enters it once per process, as root or in a new user namespace mapping this user to root,
    // before any thread starts. False (with the reason) where neither is allowed: skip then.
    static bool Enter(std::string* why) {
        static const std::string refused = EnterNow();
        if (!refused.empty() && why != nullptr)
            *why = refused;
        return refused.empty();
    }

    // An empty tmpfs on the directory `dir`, hiding what is below it, for the object's lifetime.
    explicit PrivateMounts(const std::string& dir) : m_dir(dir) {
        m_mounted = Enter(&m_error) &&
                    ::mount("camctrl-test", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0;
        if (!m_mounted && m_error.empty())
            m_error = "mount tmpfs on " + dir + ": " + std::strerror(errno);
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
        std::ofstream file(path);
        return static_cast<bool>(file << text << std::flush);  // one write, as these files want
    }
    // "" once entered, else why not.
    static std::string EnterNow() {
        const std::string uid = std::to_string(::getuid()), gid = std::to_string(::getgid());
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return std::string("no private mount namespace: ") + std::strerror(errno);
            WriteFile("/proc/self/setgroups", "deny");
            if (!WriteFile("/proc/self/uid_map", "0 " + uid + " 1\n") ||
                !WriteFile("/proc/self/gid_map", "0 " + gid + " 1\n"))
                return "cannot map the user into the new user namespace";
        }
        // Nothing mounted here may reach the machine's own namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private: ") + std::strerror(errno);
        return "";
    }

    std::string m_dir, m_error;
    bool m_mounted = false;
};
