#include "EventHub.h"

#include <algorithm>
#include <chrono>

std::string EventHub::Event(uint64_t sequence, const std::string& json) {
    return "id: " + std::to_string(sequence) + "\nevent: record\ndata: " + json + "\n\n";
}

void EventHub::Publish(std::string recordJson) {
    auto record = std::make_shared<const std::string>(std::move(recordJson));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_recent.push_back(std::move(record));
        if (m_recent.size() > kBacklog)
            m_recent.pop_front();
        ++m_sequence;
    }
    m_changed.notify_all();
}

std::string EventHub::Last(uint64_t* sequence) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sequence != nullptr)
        *sequence = m_sequence;
    return m_recent.empty() ? std::string() : *m_recent.back();
}

std::string EventHub::Greeting(uint64_t& seen) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    seen = m_sequence;
    // A client that reconnects learns the server's pace before anything else.
    std::string out = "retry: 1000\n\n";
    if (!m_recent.empty())
        out += Event(m_sequence, *m_recent.back());
    return out;
}

bool EventHub::Next(uint64_t& seen, std::string& out, int waitMs,
                    std::chrono::steady_clock::time_point& lastSent) {
    using namespace std::chrono;
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto heartbeat = lastSent + milliseconds(m_heartbeatMs);
    const bool woke =
        m_changed.wait_until(lock, std::min(heartbeat, steady_clock::now() + milliseconds(waitMs)),
                             [&] { return m_stopping || m_sequence != seen; });
    if (m_stopping)
        return false;
    if (!woke) {
        if (steady_clock::now() >= heartbeat) {
            out += "event: heartbeat\ndata: {}\n\n";
            lastSent = steady_clock::now();
        }
        return true;
    }
    const uint64_t first = m_sequence - m_recent.size() + 1;
    if (seen + 1 < first)
        seen = m_sequence - 1;  // too far behind: only the latest record is worth sending
    for (uint64_t s = seen + 1; s <= m_sequence; ++s)
        out += Event(s, *m_recent[s - first]);
    seen = m_sequence;
    lastSent = steady_clock::now();
    return true;
}

void EventHub::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
}

int EventHub::Streams() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streams;
}

void EventHub::StreamOpened() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_streams;
}

void EventHub::StreamClosed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_streams;
}
