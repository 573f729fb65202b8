#include "platform/monitor.h"

#include <windows.h>

struct Monitor::Impl {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE cv = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : m_impl(std::make_unique<Impl>()) {}
Monitor::~Monitor() = default;

void Monitor::lock()
{
    AcquireSRWLockExclusive(&m_impl->lock);
}

void Monitor::unlock()
{
    ReleaseSRWLockExclusive(&m_impl->lock);
}

void Monitor::Wait()
{
    SleepConditionVariableSRW(&m_impl->cv, &m_impl->lock, INFINITE, 0);
}

void Monitor::WaitUntil(std::chrono::steady_clock::time_point until)
{
    const auto now = std::chrono::steady_clock::now();
    if (until <= now)
        return;
    // Whole milliseconds, rounded up: a wait that ended early would only be
    // waited again, a zero wait would spin until the deadline.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    const DWORD wait = ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
    SleepConditionVariableSRW(&m_impl->cv, &m_impl->lock, wait, 0);
}

void Monitor::NotifyAll()
{
    WakeAllConditionVariable(&m_impl->cv);
}
