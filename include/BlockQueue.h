// Bounded blocking queue with two priorities and an abort switch.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <utility>

// timeoutMs: 0 = do not wait, negative = wait without limit, positive = one
// wait of at most that long. Results: 0 done; -1 would block with timeout 0,
// or aborted; -2 a timed wait ended; -3 negative priority (Push).
template <typename T>
class BlockQueue {
  public:
    explicit BlockQueue(int capacity) : m_capacity(capacity) {}
    virtual ~BlockQueue() = default;

    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    int Push(const T& item, int timeoutMs, int priority) {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (IsFull() && !m_abort) {
            if (timeoutMs == 0) {
                return -1;
            }
            if (timeoutMs < 0) {
                m_notFull.wait(lock, [this] { return !IsFull() || m_abort; });
            } else {
                // One wait only: room that appears during it is not used.
                m_notFull.wait_for(lock, std::chrono::milliseconds(timeoutMs));
                return -2;
            }
        }
        if (m_abort) {
            return -1;
        }
        if (priority < 0) {
            std::fprintf(
                stderr, "Failed to push, error parameters, priority must be greater than or equal to zero\n");
            return -3;
        }
        if (priority > 0) {
            m_items.push_front(item);
        } else {
            m_items.push_back(item);
        }
        m_notEmpty.notify_one();
        return 0;
    }

    int Take(T& out, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (IsEmpty() && !m_abort) {
            if (timeoutMs == 0) {
                return -1;
            }
            if (timeoutMs < 0) {
                m_notEmpty.wait(lock, [this] { return !IsEmpty() || m_abort; });
            } else {
                m_notEmpty.wait_for(lock, std::chrono::milliseconds(timeoutMs));
                return -2;
            }
        }
        if (m_abort) {
            return -1;
        }
        out = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return 0;
    }

    void RequestAbort() {
        {
            // Setting the flag under the mutex closes the gap between a
            // waiter's predicate test and its wait.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_abort = true;
        }
        m_notEmpty.notify_all();
        m_notFull.notify_all();
    }

    // Called with m_mutex held.
    bool IsFull() const { return static_cast<long>(m_items.size()) >= static_cast<long>(m_capacity); }
    bool IsEmpty() const { return m_items.empty(); }

  private:
    int m_capacity;
    std::list<T> m_items;
    std::mutex m_mutex;
    std::condition_variable m_notFull;
    std::condition_variable m_notEmpty;
    std::atomic<bool> m_abort{false};
};
