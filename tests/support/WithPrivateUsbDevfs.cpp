// Runs a program with a private, writable /dev/bus/usb, without touching the machine:
//
//   with-private-usb-devfs [LAUNCHER...] -- PROGRAM [ARGS...]
//
// The program gets its own mount namespace whose /dev is a tmpfs holding every entry of the
// machine's /dev (bound in) except bus/, and a /dev/bus/usb of its own that holds the
// machine's USB bus directories (bound in, so real devices still come and go there).
// CAMSIM_USB_DEVFS=/dev/bus/usb tells the simulator to make its camera's device node there,
// as the kernel does for a real camera. LAUNCHER (an emulator) is put in front of PROGRAM.
// Where no private namespace can be made the program runs on the machine's /dev, with
// CAMCTRL_NO_PRIVATE_USB_DEVFS set to the reason and CAMSIM_USB_DEVFS unset.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PrivateMounts.h"

namespace {

const char kUsbDevfs[] = "/dev/bus/usb";

bool Fail(std::string* why, const std::string& what) {
    *why = what + ": " + std::strerror(errno);
    return false;
}

// Binds every entry of `from` into the directory `to`, except the names in `skip`.
bool BindEntries(const std::string& from, const std::string& to, const std::vector<std::string>& skip,
                 std::string* why) {
    DIR* dir = ::opendir(from.c_str());
    if (dir == nullptr)
        return Fail(why, from);
    bool ok = true;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool skipped = false;
        for (const std::string& s : skip)
            skipped |= name == s;
        if (skipped)
            continue;
        std::string source = from + "/" + name;
        std::string target = to + "/" + name;
        struct stat st;
        if (::lstat(source.c_str(), &st) != 0) {
            ok = Fail(why, source);
            break;
        }
        if (S_ISLNK(st.st_mode)) {
            char link[4096];
            ssize_t n = ::readlink(source.c_str(), link, sizeof link - 1);
            if (n >= 0)
                link[n] = '\0';
            if (n < 0 || ::symlink(link, target.c_str()) != 0) {
                ok = Fail(why, target);
                break;
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (::mkdir(target.c_str(), st.st_mode & 07777) != 0) {
                ok = Fail(why, target);
                break;
            }
        } else {
            int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                ok = Fail(why, target);
                break;
            }
            ::close(fd);
        }
        if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
            ok = Fail(why, "bind " + source);
            break;
        }
    }
    ::closedir(dir);
    return ok;
}

bool MakePrivateUsbDevfs(std::string* why) {
    if (!PrivateMounts::Enter(why))
        return false;
    char machine[] = "/tmp/camctrl-dev.XXXXXX";
    if (::mkdtemp(machine) == nullptr)
        return Fail(why, machine);
    const std::string old = machine;
    bool ok = false;
    if (::mount("/dev", machine, nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        Fail(why, "bind /dev");
    } else if (::mount("camctrl-dev", "/dev", "tmpfs", MS_NOSUID, "mode=0755") != 0) {
        Fail(why, "tmpfs on /dev");
    } else {
        ok = BindEntries(old, "/dev", {"bus"}, why);
        if (ok && (::mkdir("/dev/bus", 0755) != 0 || ::mkdir(kUsbDevfs, 0755) != 0))
            ok = Fail(why, kUsbDevfs);
        struct stat st;
        if (ok && ::stat((old + "/bus/usb").c_str(), &st) == 0)
            ok = BindEntries(old + "/bus/usb", kUsbDevfs, {}, why);
        if (!ok)
            ::umount2("/dev", MNT_DETACH);  // back to the machine's /dev
    }
    ::umount2(machine, MNT_DETACH);
    ::rmdir(machine);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> command;
    int separator = 1;
    while (separator < argc && std::strcmp(argv[separator], "--") != 0)
        ++separator;
    if (separator + 1 >= argc) {
        std::fprintf(stderr, "usage: %s [LAUNCHER...] -- PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (i != separator)
            command.push_back(argv[i]);
    }
    command.push_back(nullptr);

    std::string why;
    if (MakePrivateUsbDevfs(&why)) {
        ::setenv("CAMSIM_USB_DEVFS", kUsbDevfs, 1);
        ::unsetenv("CAMCTRL_NO_PRIVATE_USB_DEVFS");
    } else {
        ::unsetenv("CAMSIM_USB_DEVFS");
        ::setenv("CAMCTRL_NO_PRIVATE_USB_DEVFS", why.c_str(), 1);
    }
    ::execvp(command[0], command.data());
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], command[0], std::strerror(errno));
    return 127;
}
