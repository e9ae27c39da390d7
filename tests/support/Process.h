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
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

class Process {
public:
    // argv[0] is the program path. $CAMCTRL_TEST_LAUNCHER (words separated by
    // blanks, e.g. an emulator) is put in front when set.
    explicit Process(std::vector<std::string> argv, const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> full;
        if (const char* launcher = std::getenv("CAMCTRL_TEST_LAUNCHER")) {
            std::istringstream words(launcher);
            for (std::string w; words >> w;) full.push_back(w);
        }
        full.insert(full.end(), argv.begin(), argv.end());

        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);

        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> args, envp;
        for (auto& a : full) args.push_back(&a[0]);
        args.push_back(nullptr);
        for (auto& e : env) envp.push_back(&e[0]);
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
    }
    ~Process() {
        if (m_pid > 0 && m_status == kRunning) {
            ::kill(m_pid, SIGKILL);
            Wait(5000);
        }
        for (int fd : {m_in, m_out, m_err}) {
            if (fd >= 0) ::close(fd);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return m_pid > 0; }
    void Write(const std::string& text) {
        if (m_in >= 0) {
            ssize_t ignored = ::write(m_in, text.data(), text.size());
            (void)ignored;
        }
    }
    void CloseInput() {
        if (m_in >= 0) ::close(m_in);
        m_in = -1;
    }
    void Signal(int sig) {
        if (m_pid > 0) ::kill(m_pid, sig);
    }
    // Reads output until `needle` appears in standard output (or standard
    // error, with fromStderr) or the time is up.
    bool WaitForOutput(const std::string& needle, int timeoutMs, bool fromStderr = false) {
        const std::string& text = fromStderr ? m_stderr : m_stdout;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (text.find(needle) == std::string::npos) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
            if (left <= 0 || !Pump(left)) break;
        }
        return text.find(needle) != std::string::npos;
    }
    // Waits for the exit, reading all output. Returns the exit status, or -1
    // after the time-out (the child is then killed) or for a signal death.
    int Wait(int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_out >= 0 || m_err >= 0) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
            if (left <= 0) {
                ::kill(m_pid, SIGKILL);
                m_timedOut = true;
                break;
            }
            Pump(left);
        }
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (m_timedOut) m_status = -1;
        return m_status;
    }
    bool TimedOut() const { return m_timedOut; }
    const std::string& Out() const { return m_stdout; }
    const std::string& Err() const { return m_stderr; }

private:
    static constexpr int kRunning = -1000;

    // Moves available output into the buffers; false once both streams ended.
    bool Pump(int timeoutMs) {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) <= 0) return m_out >= 0 || m_err >= 0;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof(buf));
            if (n > 0) {
                (i == 0 ? m_stdout : m_stderr).append(buf, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                (i == 0 ? m_out : m_err) = -1;
            }
        }
        return m_out >= 0 || m_err >= 0;
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    int m_status = kRunning;
    bool m_timedOut = false;
    std::string m_stdout, m_stderr;
};
