#include "platform/monitor.h"

#include <condition_variable>
#include <mutex>

struct Monitor::Impl {
    std::mutex mutex;
    std::condition_variable cv;
};

Monitor::Monitor() : m_impl(std::make_unique<Impl>()) {}
Monitor::~Monitor() = default;

void Monitor::lock()
{
    m_impl->mutex.lock();
}

void Monitor::unlock()
{
    m_impl->mutex.unlock();
}

void Monitor::Wait()
{
    std::unique_lock<std::mutex> held(m_impl->mutex, std::adopt_lock);
    m_impl->cv.wait(held);
    held.release();  // the caller's lock owns the mutex again
}

void Monitor::WaitUntil(std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> held(m_impl->mutex, std::adopt_lock);
    m_impl->cv.wait_until(held, until);
    held.release();
}

void Monitor::NotifyAll()
{
    m_impl->cv.notify_all();
}
