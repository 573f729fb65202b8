#include "serial/periodic_timer.h"

PeriodicTimer::PeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick)
    : m_period(period), m_tick(std::move(tick)), m_thread(&PeriodicTimer::Run, this)
{
}

PeriodicTimer::~PeriodicTimer()
{
    Stop();
}

void PeriodicTimer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void PeriodicTimer::Run()
{
    auto next = std::chrono::steady_clock::now() + m_period;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_cv.wait_until(lock, next, [this] { return m_stop; }))
            break;
        lock.unlock();
        m_tick();
        lock.lock();
        next += m_period;
    }
}
