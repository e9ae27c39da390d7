// SIGINT/SIGTERM as a readable descriptor, so that waits can end on them.
#pragma once

namespace tools {

class SignalWaiter {
  public:
    // Blocks SIGINT and SIGTERM for this thread and every thread started after.
    SignalWaiter();
    ~SignalWaiter();
    SignalWaiter(const SignalWaiter&) = delete;
    SignalWaiter& operator=(const SignalWaiter&) = delete;

    bool Ok() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    // Waits up to timeoutMs (negative: no limit) for a signal or for `fd` to be
    // readable (fd < 0: none). Returns 1 for a signal, 2 for fd readable, 0 on time-out.
    int Wait(int fd, int timeoutMs);
    bool Signalled() const { return m_signalled; }

  private:
    int m_fd = -1;
    bool m_signalled = false;
};

}  // namespace tools
