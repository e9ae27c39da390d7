#include "CallGate.h"

bool CallGate::Enter() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_open) {
        return false;
    }
    ++m_inside;
    return true;
}

void CallGate::Leave() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_inside == 0) {
        m_idle.notify_all();
    }
}

void CallGate::Close() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_open = false;
    m_idle.wait(lock, [this] { return m_inside == 0; });
}
