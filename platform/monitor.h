#pragma once
#include <chrono>
#include <memory>

// A lock with one condition to wait on, as the message queue uses them.
// On POSIX these are std::mutex and std::condition_variable. On Windows
// they are the system's slim lock and condition variable, which hand a wake
// to the waiting thread directly; the C++ runtime's condition variable there
// goes through semaphores, a kernel object call on each side of every wake.
// Lockable, so that std::lock_guard and std::unique_lock take it.
class Monitor {
public:
    Monitor();
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void lock();
    void unlock();
    // With the lock held: releases it until NotifyAll (or a spurious wake),
    // and takes it again before returning.
    void Wait();
    // The same, ending at about `until` without a notification; the caller
    // looks at the clock again, as a timed wait may end a little early.
    void WaitUntil(std::chrono::steady_clock::time_point until);
    void NotifyAll();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
