#include "BasicFunDetail.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace basicfun_detail {

bool JoinPath(char* out, size_t size, const char* dir, const char* name) {
    if (out == nullptr || size == 0 || dir == nullptr || name == nullptr) {
        return false;
    }
    size_t dirLen = std::strlen(dir);
    const char* sep = (dirLen > 0 && dir[dirLen - 1] == '/') ? "" : "/";
    int n = std::snprintf(out, size, "%s%s%s", dir, sep, name);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool CopyIfFits(char* out, size_t size, const char* text) {
    if (out == nullptr || text == nullptr) {
        return false;
    }
    size_t len = std::strlen(text);
    if (len >= size) {
        return false;
    }
    std::memcpy(out, text, len + 1);
    return true;
}

int OpenFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    return static_cast<int>(lim.rlim_cur);
}

namespace {

// Closes [from, to) except keep. With a high open-file limit a close() per
// descriptor costs tens of milliseconds per command; close_range is one call.
void CloseDescriptors(int from, int to, int keep) {
    if (keep >= from && keep < to) {
        CloseDescriptors(from, keep, -1);
        CloseDescriptors(keep + 1, to, -1);
        return;
    }
    if (from >= to) {
        return;
    }
#ifdef SYS_close_range
    if (syscall(SYS_close_range, static_cast<unsigned>(from), static_cast<unsigned>(to - 1), 0U) == 0) {
        return;
    }
#endif
    for (int fd = from; fd < to; ++fd) {
        close(fd);
    }
}

// Runs in the vfork child, on the parent's stack: system calls only.
[[noreturn]] void ExecChild(const SpawnSpec& launch, int errFd) {
    if (launch.stdoutFd >= 0 && launch.stdoutFd != STDOUT_FILENO) {
        dup2(launch.stdoutFd, STDOUT_FILENO);
    }
    CloseDescriptors(launch.closeFrom, launch.closeTo, errFd);
    if (launch.clearUmask) {
        umask(0);
    }
    if (launch.searchPath) {
        execvp(launch.path, launch.argv);
    } else {
        execv(launch.path, launch.argv);
    }
    int err = errno;
    ssize_t ignored = write(errFd, &err, sizeof(err));
    (void)ignored;
    _exit(127);
}

}  // namespace

pid_t SpawnShell(const char* line, int stdoutFd, int* execError) {
    char shName[] = "sh";
    char shOpt[] = "-c";
    char* argv[] = {shName, shOpt, const_cast<char*>(line), nullptr};
    SpawnSpec launch;
    launch.path = "/bin/sh";
    launch.argv = argv;
    launch.stdoutFd = stdoutFd;
    launch.closeTo = OpenFileLimit();
    return SpawnChild(launch, execError);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

pid_t SpawnChild(const SpawnSpec& launch, int* execError) {
    *execError = 0;
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = vfork();
    if (pid == 0) {
        ExecChild(launch, errPipe[1]);
    }
    int forkErrno = errno;
    close(errPipe[1]);
    if (pid > 0) {
        int err = 0;
        ssize_t n;
        do {
            n = read(errPipe[0], &err, sizeof(err));
        } while (n < 0 && errno == EINTR);
        *execError = (n == static_cast<ssize_t>(sizeof(err))) ? err : 0;
    }
    close(errPipe[0]);
    errno = forkErrno;
    return pid;
}

pid_t WaitChild(pid_t pid, int* status, int options) {
    pid_t r;
    do {
        r = waitpid(pid, status, options);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace basicfun_detail
