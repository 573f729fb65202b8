// The resend timer on Windows: a multimedia timer at 1 ms resolution.
#include <windows.h>
#include <mmsystem.h>

#include "serial/periodic_timer.h"

struct PeriodicTimer::Impl {
    std::function<void()> tick;
    UINT id = 0;

    static void CALLBACK Tick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
    {
        reinterpret_cast<Impl*>(user)->tick();
    }
};

PeriodicTimer::PeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->tick = std::move(tick);
    timeBeginPeriod(1);
    m_impl->id = timeSetEvent(static_cast<UINT>(period.count()), 1, &Impl::Tick,
                              reinterpret_cast<DWORD_PTR>(m_impl.get()), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
}

PeriodicTimer::~PeriodicTimer()
{
    Stop();
}

void PeriodicTimer::Stop()
{
    if (m_impl->id != 0) {
        timeKillEvent(m_impl->id);  // synchronous: no tick runs after this
        timeEndPeriod(1);
        m_impl->id = 0;
    }
}
