// The portable periodic timer: a thread that sleeps until each tick is due.
#include "serial/periodic_timer.h"

#include <condition_variable>
#include <mutex>
#include <thread>

struct PeriodicTimer::Impl {
    std::chrono::milliseconds period;
    std::function<void()> tick;
    std::mutex mutex;
    std::condition_variable cv;
    bool stop = false;
    std::thread thread;

    void Run()
    {
        // Ticks are scheduled on absolute times, so the cadence does not drift.
        auto next = std::chrono::steady_clock::now() + period;
        std::unique_lock<std::mutex> lock(mutex);
        while (!stop) {
            if (cv.wait_until(lock, next, [this] { return stop; }))
                break;
            lock.unlock();
            tick();
            lock.lock();
            next += period;
        }
    }
};

PeriodicTimer::PeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->period = period;
    m_impl->tick = std::move(tick);
    m_impl->thread = std::thread(&Impl::Run, m_impl.get());
}

PeriodicTimer::~PeriodicTimer()
{
    Stop();
}

void PeriodicTimer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->stop = true;
    }
    m_impl->cv.notify_all();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}
