#include "SignalWaiter.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace tools {

SignalWaiter::SignalWaiter() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_fd = signalfd(-1, &set, SFD_CLOEXEC);
}

SignalWaiter::~SignalWaiter() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int SignalWaiter::Wait(int fd, int timeoutMs) {
    if (m_signalled)
        return 1;
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {fd, POLLIN, 0}};
    int r;
    do {
        r = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0)
        return 0;
    if (fds[0].revents & POLLIN) {
        signalfd_siginfo info;
        ssize_t ignored = ::read(m_fd, &info, sizeof(info));
        (void)ignored;
        m_signalled = true;
        return 1;
    }
    return (fd >= 0 && fds[1].revents != 0) ? 2 : 0;
}

}  // namespace tools
