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
        : m_name(stem + "." + std::to_string(::getpid()) + "." + std::to_string(Counter()++)),
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
    static std::atomic<int>& Counter() {
        static std::atomic<int> c{0};
        return c;
    }
    std::string m_name;
    int m_fd;
};

inline int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t offset) {
    int32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = static_cast<int32_t>((static_cast<uint32_t>(v) << 8) | bytes.at(offset + i));
    return v;
}
