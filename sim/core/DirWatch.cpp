#include "DirWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>

namespace camsim {

namespace {
const int64_t kFallbackStepMs = 20;
}

DirWatch::DirWatch(const std::string& dir) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    // Every state change is a rename into the directory, so IN_MOVED_TO is enough; it does
    // not fire for the lock file, which each waiter opens and closes while checking.
    if (m_fd >= 0 && inotify_add_watch(m_fd, dir.c_str(), IN_MOVED_TO | IN_DELETE_SELF) < 0) {
        close(m_fd);
        m_fd = -1;
    }
}

DirWatch::~DirWatch() {
    if (m_fd >= 0)
        close(m_fd);
}

bool DirWatch::Wait(int64_t ms) {
    int timeout = static_cast<int>(std::min<int64_t>(std::max<int64_t>(ms, 0), 3600 * 1000));
    if (m_fd < 0) {
        if (timeout > 0)
            poll(nullptr, 0, static_cast<int>(std::min<int64_t>(timeout, kFallbackStepMs)));
        return true;
    }
    struct pollfd p = {m_fd, POLLIN, 0};
    int ready = poll(&p, 1, timeout);
    if (ready == 0)
        return false;
    alignas(struct inotify_event) char buf[4096];
    while (read(m_fd, buf, sizeof buf) > 0) {
    }
    return true;
}

}  // namespace camsim
