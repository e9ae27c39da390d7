#include "zrlog.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace {

int ThresholdFromEnv() {
    const char* env = std::getenv("ZRLOG_LEVEL");
    if (env == nullptr || *env == '\0') {
        return ZR_LOG_INFO;
    }
    char* end = nullptr;
    long v = std::strtol(env, &end, 10);
    return (end != env) ? static_cast<int>(v) : ZR_LOG_INFO;
}

// The hook is swapped under a mutex and called under it, so that removing the
// hook guarantees no call into it is still running afterwards.
std::mutex g_hookMutex;
zr_log_hook_t g_hook = nullptr;
void* g_hookUser = nullptr;
std::atomic<bool> g_hookSet{false};

std::string Format(const char* format, va_list ap) {
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof(small), format, copy);
    va_end(copy);
    if (n < 0) {
        return std::string();
    }
    if (static_cast<size_t>(n) < sizeof(small)) {
        return std::string(small, static_cast<size_t>(n));
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), format, ap);
    big.resize(static_cast<size_t>(n));
    return big;
}

bool MakeAddress(const char* name, sockaddr_un* addr, socklen_t* len) {
    static const char kPrefix[] = "zr_local_udp/";
    if (name == nullptr) {
        errno = EINVAL;
        return false;
    }
    size_t nameLen = std::strlen(name);
    if (nameLen == 0 || nameLen > ZR_LOCAL_UDP_NAME_MAX) {
        errno = (nameLen == 0) ? EINVAL : ENAMETOOLONG;
        return false;
    }
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    // sun_path[0] stays NUL: abstract namespace.
    std::memcpy(addr->sun_path + 1, kPrefix, sizeof(kPrefix) - 1);
    std::memcpy(addr->sun_path + sizeof(kPrefix), name, nameLen);
    *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + sizeof(kPrefix) + nameLen);
    return true;
}

}  // namespace

extern "C" void zr_log_output(const char* module, const char* file, int line, int level, const char* format,
                              ...) {
    const int savedErrno = errno;  // callers format "%m" with the errno of their failure
    static const int threshold = ThresholdFromEnv();
    bool toStderr = level <= threshold;
    bool toHook = g_hookSet.load(std::memory_order_acquire);
    if ((!toStderr && !toHook) || format == nullptr) {
        return;
    }
    va_list ap;
    va_start(ap, format);
    errno = savedErrno;
    std::string msg = Format(format, ap);
    va_end(ap);
    const char* mod = module ? module : "";
    const char* src = file ? file : "";

    if (toHook) {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        if (g_hook != nullptr) {
            g_hook(g_hookUser, mod, src, line, level, msg.c_str());
        }
    }
    if (toStderr) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        localtime_r(&ts.tv_sec, &local);
        char stamp[32];
        std::strftime(stamp, sizeof(stamp), "%H:%M:%S", &local);
        // One write per line keeps lines of different threads apart.
        std::string out = std::string(stamp) + "." + std::to_string(ts.tv_nsec / 1000000 + 1000).substr(1) +
                          " " + std::to_string(level) + " " + mod + " " + src + ":" + std::to_string(line) +
                          " " + msg;
        if (out.empty() || out.back() != '\n') {
            out += '\n';
        }
        ssize_t ignored = ::write(STDERR_FILENO, out.data(), out.size());
        (void)ignored;
    }
    errno = savedErrno;
}

extern "C" void zr_log_set_hook(zr_log_hook_t hook, void* user) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = hook;
    g_hookUser = user;
    g_hookSet.store(hook != nullptr, std::memory_order_release);
}

extern "C" int zr_local_udp_open(const char* bind_name) {
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind_name == nullptr) {
        return fd;
    }
    sockaddr_un addr;
    socklen_t len = 0;
    if (!MakeAddress(bind_name, &addr, &len) || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

extern "C" int zr_local_udp_send(int socket, const char* name, const void* buf, size_t len) {
    sockaddr_un addr;
    socklen_t addrLen = 0;
    if (!MakeAddress(name, &addr, &addrLen) || (buf == nullptr && len != 0)) {
        if (buf == nullptr && len != 0) {
            errno = EINVAL;
        }
        return -1;
    }
    ssize_t n =
        ::sendto(socket, buf, len, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), addrLen);
    return static_cast<int>(n);
}

extern "C" int zr_local_udp_recv(int socket, void* buf, size_t len, int timeout_ms) {
    pollfd pfd{socket, POLLIN, 0};
    int r;
    do {
        r = ::poll(&pfd, 1, timeout_ms < 0 ? -1 : timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) {
        return r;
    }
    ssize_t n = ::recv(socket, buf, len, MSG_TRUNC);
    return static_cast<int>(n);
}
