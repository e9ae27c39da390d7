// Lets callbacks that outlive their owner's subscription find out that the owner is gone.
// The bus hands each publish a copy of the callbacks, so one may still run after its
// subscription was removed; the callback holds the gate (shared) and enters it first.
#pragma once

#include <condition_variable>
#include <mutex>

class CallGate {
  public:
    // False once closed: the caller must not touch the owner.
    bool Enter();
    void Leave();
    // Refuses every later Enter and waits until the calls that entered have left.
    // Must not be called from inside a call that entered.
    void Close();

  private:
    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_inside = 0;
    bool m_open = true;
};
