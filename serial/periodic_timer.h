#pragma once
#include <chrono>
#include <functional>
#include <memory>

// Calls a function every period on a thread of the platform's until
// stopped; no call runs after Stop() has returned.
class PeriodicTimer {
public:
    PeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick);
    ~PeriodicTimer();  // stops
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;
    void Stop();

    struct Impl;  // per platform

private:
    std::unique_ptr<Impl> m_impl;
};
