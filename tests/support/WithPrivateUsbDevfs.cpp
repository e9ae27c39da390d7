//   with-private-usb-devfs [LAUNCHER...] -- PROGRAM [ARGS...]
// runs PROGRAM (behind LAUNCHER, an emulator) in a mount namespace of its own, where /dev is a
// tmpfs with the machine's entries bound in but bus/, and /dev/bus/usb holds the machine's USB bus
// directories (real devices still come and go) and, with CAMSIM_USB_DEVFS=/dev/bus/usb set, the
// simulated camera's node as the kernel makes a real one's. Where no namespace can be made it runs
// on the machine's /dev, with CAMCTRL_NO_PRIVATE_USB_DEVFS set to the reason.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "PrivateMounts.h"

namespace {

const char kUsbDevfs[] = "/dev/bus/usb";

bool Fail(std::string* why, const std::string& what) {
    *why = what + ": " + std::strerror(errno);
    return false;
}

// An entry like `source` (a copy of a link, an empty directory or file) at `target`, with
// anything but a link bound onto it.
bool Mirror(const std::string& source, const std::string& target, std::string* why) {
    struct stat st;
    char link[4096];
    if (::lstat(source.c_str(), &st) != 0)
        return Fail(why, source);
    if (S_ISLNK(st.st_mode)) {
        ssize_t n = ::readlink(source.c_str(), link, sizeof link - 1);
        if (n >= 0)
            link[n] = '\0';
        return (n >= 0 && ::symlink(link, target.c_str()) == 0) || Fail(why, target);
    }
    int made = S_ISDIR(st.st_mode) ? ::mkdir(target.c_str(), st.st_mode & 07777)
                                   : ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (made < 0 || (!S_ISDIR(st.st_mode) && ::close(made) != 0))
        return Fail(why, target);
    return ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0 ||
           Fail(why, "bind " + source);
}

// Mirrors every entry of `from` into the directory `to`, but `skip`.
bool MirrorEntries(const std::string& from, const std::string& to, const std::string& skip,
                   std::string* why) {
    DIR* dir = ::opendir(from.c_str());
    if (dir == nullptr)
        return Fail(why, from);
    bool ok = true;
    for (dirent* entry; ok && (entry = ::readdir(dir)) != nullptr;) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && name != skip)
            ok = Mirror(from + "/" + name, to + "/" + name, why);
    }
    ::closedir(dir);
    return ok;
}

bool MakePrivateUsbDevfs(std::string* why) {
    char machine[] = "/tmp/camctrl-dev.XXXXXX";
    if (!PrivateMounts::Enter(why))
        return false;
    if (::mkdtemp(machine) == nullptr)
        return Fail(why, machine);
    const std::string old = machine;
    struct stat st;
    const bool mounted =
        (::mount("/dev", machine, nullptr, MS_BIND | MS_REC, nullptr) == 0 || Fail(why, "bind /dev")) &&
        (::mount("camctrl-dev", "/dev", "tmpfs", MS_NOSUID, "mode=0755") == 0 || Fail(why, "tmpfs on /dev"));
    const bool ok =
        mounted && MirrorEntries(old, "/dev", "bus", why) &&
        ((::mkdir("/dev/bus", 0755) == 0 && ::mkdir(kUsbDevfs, 0755) == 0) || Fail(why, kUsbDevfs)) &&
        (::stat((old + "/bus/usb").c_str(), &st) != 0 || MirrorEntries(old + "/bus/usb", kUsbDevfs, "", why));
    if (mounted && !ok)
        ::umount2("/dev", MNT_DETACH);  // back to the machine's /dev
    ::umount2(machine, MNT_DETACH);
    ::rmdir(machine);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    char** separator = std::find_if(argv + 1, argv + argc, [](char* a) { return std::strcmp(a, "--") == 0; });
    if (separator + 1 >= argv + argc) {
        std::fprintf(stderr, "usage: %s [LAUNCHER...] -- PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    std::rotate(separator, separator + 1, argv + argc);  // the launcher's words, then the program's
    argv[argc - 1] = nullptr;
    std::string why;
    const bool made = MakePrivateUsbDevfs(&why);
    made ? ::setenv("CAMSIM_USB_DEVFS", kUsbDevfs, 1) : ::unsetenv("CAMSIM_USB_DEVFS");
    made ? ::unsetenv("CAMCTRL_NO_PRIVATE_USB_DEVFS")
         : ::setenv("CAMCTRL_NO_PRIVATE_USB_DEVFS", why.c_str(), 1);
    ::execvp(argv[1], argv + 1);
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], std::strerror(errno));
    return 127;
}
