// Runs a program as a child process with captured output, for whole-process tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

class Process {
  public:
    // argv[0] is the program; the words of $CAMCTRL_TEST_LAUNCHER (an emulator) go in front.
    explicit Process(std::vector<std::string> argv) {
        const char* launcher = std::getenv("CAMCTRL_TEST_LAUNCHER");
        std::istringstream words(launcher != nullptr ? launcher : "");
        std::vector<std::string> full{std::istream_iterator<std::string>(words), {}};
        full.insert(full.end(), argv.begin(), argv.end());
        std::vector<char*> args;
        for (std::string& a : full)
            args.push_back(&a[0]);
        args.push_back(nullptr);
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : {in[0], out[1], err[1]})
            ::close(fd);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
    }
    ~Process() {
        if (m_status == kRunning)
            Signal(SIGKILL), Wait(5000);
        for (int fd : {m_in, m_out, m_err})
            ::close(fd);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void Write(const std::string& text) {
        if (m_in >= 0 && ::write(m_in, text.data(), text.size()) < 0)
            CloseInput();
    }
    void CloseInput() { ::close(m_in), m_in = -1; }
    void Signal(int sig) {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }
    // Reads output until `needle` is in standard output (error, with fromStderr), or the time is up.
    bool WaitForOutput(const std::string& needle, int timeoutMs, bool fromStderr = false) {
        const std::string& text = fromStderr ? m_stderr : m_stdout;
        return PumpUntil(timeoutMs, [&] { return text.find(needle) != std::string::npos; });
    }
    // Reads all output and waits for the exit status; -1 for a signal or after the time-out (kill).
    int Wait(int timeoutMs) {
        bool ended = PumpUntil(timeoutMs, [this] { return m_out < 0 && m_err < 0; });
        if (!ended)
            Signal(SIGKILL);
        int status = 0;
        if (m_pid > 0 && m_status == kRunning && ::waitpid(m_pid, &status, 0) == m_pid)
            m_status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_status;
    }
    const std::string& Out() const { return m_stdout; }
    const std::string& Err() const { return m_stderr; }

  private:
    static constexpr int kRunning = -1000;

    // Reads output until `done`; false when the time is up or both streams ended first.
    template <typename Done>
    bool PumpUntil(int timeoutMs, Done done) {
        using namespace std::chrono;
        auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        while (!done()) {
            auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
            if (left <= 0 || (m_out < 0 && m_err < 0))
                return false;
            if (::poll(fds, 2, static_cast<int>(left)) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                char buf[4096];
                ssize_t n = fds[i].revents == 0 ? 0 : ::read(fds[i].fd, buf, sizeof buf);
                if (n > 0)
                    (i == 0 ? m_stdout : m_stderr).append(buf, static_cast<size_t>(n));
                else if (fds[i].revents != 0)
                    ::close(fds[i].fd), (i == 0 ? m_out : m_err) = -1;
            }
        }
        return true;
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    int m_status = kRunning;
    std::string m_stdout, m_stderr;
};
