// Hands every published record to every event stream. The bus calls Publish on the camera
// plug-in's thread; each stream's connection thread calls Next. One lock guards it all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class EventHub {
  public:
    // A stream more than this many records behind gets the latest record instead.
    static constexpr size_t kBacklog = 256;

    explicit EventHub(int heartbeatMs) : m_heartbeatMs(heartbeatMs) {}

    // Stores the record's JSON text as the latest and wakes every stream.
    void Publish(std::string recordJson);
    // The latest record ("" before the first) and its sequence number.
    std::string Last(uint64_t* sequence = nullptr) const;

    // Appends to `out` what a stream that has seen records up to `seen` is sent next: the
    // records after it as SSE events, waiting at most waitMs for one; or a heartbeat when
    // nothing was sent since `lastSent` for the heartbeat interval (`lastSent` follows what is
    // appended). Returns false once the hub is stopping (the stream should end).
    bool Next(uint64_t& seen, std::string& out, int waitMs, std::chrono::steady_clock::time_point& lastSent);
    // The first thing a new stream is sent: the latest record, if any. Sets `seen`.
    std::string Greeting(uint64_t& seen) const;

    void Stop();
    int Streams() const;

    // Stream bookkeeping for the connection limit on streams and for the figures.
    void StreamOpened();
    void StreamClosed();

  private:
    static std::string Event(uint64_t sequence, const std::string& json);

    const int m_heartbeatMs;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<const std::string>> m_recent;  // records m_sequence-size+1 .. m_sequence
    uint64_t m_sequence = 0;
    bool m_stopping = false;
    int m_streams = 0;
};
