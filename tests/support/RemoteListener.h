// A remote destination bound on a real datagram socket, as a host would bind it.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "zrlog.h"

class RemoteListener {
  public:
    // Binds a process-unique name built from `stem`.
    explicit RemoteListener(const std::string& stem)
        : m_name(stem + "." + std::to_string(::getpid()) + "." + std::to_string(s_count++)),
          m_fd(zr_local_udp_open(m_name.c_str())) {}
    ~RemoteListener() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RemoteListener(const RemoteListener&) = delete;
    RemoteListener& operator=(const RemoteListener&) = delete;

    const std::string& Name() const { return m_name; }
    int Fd() const { return m_fd; }

    // One datagram, or an empty vector after timeoutMs.
    std::vector<uint8_t> Receive(int timeoutMs = 1000) {
        std::vector<uint8_t> buf(256 * 1024);
        int n = zr_local_udp_recv(m_fd, buf.data(), buf.size(), timeoutMs);
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }

  private:
    static inline std::atomic<int> s_count{0};
    std::string m_name;
    int m_fd;
};

// The little-endian 32-bit word at `at`.
inline int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<int32_t>(bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
                                static_cast<uint32_t>(bytes.at(at + 3)) << 24);
}
