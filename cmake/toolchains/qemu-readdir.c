// Preloaded into every program that runs under qemu-arm (see armhf.cmake).
//
// Under qemu-user the host kernel treats the emulated program as a 64-bit one
// and hands out 64-bit directory offsets (ext4 hashes). The 32-bit-offset
// readdir that Debian's armhf libltdl and libgphoto2_port call rejects those
// with EOVERFLOW, so libgphoto2 would find no camera or port drivers. On the
// device the kernel gives 32-bit programs 32-bit offsets and this is not needed.
#define _GNU_SOURCE
#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

struct dirent* readdir(DIR* dir) {
    struct dirent64* e = readdir64(dir);
    if (e == NULL)
        return NULL;
    // The stream has moved past this entry: rewrite it in place in the
    // narrower layout, so each stream keeps its own entry as with readdir.
    // Only telldir/seekdir would notice the truncated offset.
    uint64_t ino = e->d_ino;
    int64_t off = e->d_off;
    unsigned short reclen = e->d_reclen;
    unsigned char type = e->d_type;
    struct dirent* d = (struct dirent*)e;
    memmove(d->d_name, e->d_name, strlen(e->d_name) + 1);
    d->d_ino = (ino_t)ino;
    d->d_off = (off_t)off;
    d->d_reclen =
        (unsigned short)(reclen - (offsetof(struct dirent64, d_name) - offsetof(struct dirent, d_name)));
    d->d_type = type;
    return d;
}

// Host programs that an emulated program starts must not inherit the preload;
// target programs get it again from the launcher's command line.
__attribute__((constructor)) static void forget_preload(void) {
    unsetenv("LD_PRELOAD");
}
