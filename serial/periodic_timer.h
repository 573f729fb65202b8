#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Calls a function every period on a thread of its own until stopped.
// Ticks are scheduled on absolute times, so the cadence does not drift.
class PeriodicTimer {
public:
    PeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick);
    ~PeriodicTimer();  // stops and joins
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;
    void Stop();

private:
    void Run();

    const std::chrono::milliseconds m_period;
    const std::function<void()> m_tick;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};
