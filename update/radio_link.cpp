// The line to one radio: its channel, the run flag, timer 1, the pauses and
// the contact's resend timer.
#include "update/radio_link.h"

#include <algorithm>
#include <thread>

#include "serial/periodic_timer.h"

RadioLink::RadioLink(MessagePump& pump, std::function<std::unique_ptr<PortBackend>()> backends, Timing timing)
    : m_pump(pump), m_timing(timing)
{
    m_pSerial = std::make_unique<SerialChannel>(this, std::move(backends), timing.closeWait);
}

RadioLink::~RadioLink()
{
    StopResendTimer();
    m_pSerial->Close();
}

void RadioLink::Start()
{
    m_bRun = 1;
    m_strayBytes = 0;
    m_lateBytes = 0;
    m_lateBeforeReply = 0;
    m_wireFreeNanos = 0;
    m_answersJudged = m_answersOnTime = 0;
    m_pSerial->TakeDroppedBytes();  // an earlier update's evidence is not this one's
}

void RadioLink::ArmDeadline(unsigned ms)
{
    m_deadlineNanos = SteadyNanos() + static_cast<std::int64_t>(ms) * 1000000;
    m_pump.SetTimer1(ms);
}

void RadioLink::OnTimer()
{
    const std::int64_t left = m_deadlineNanos - SteadyNanos();
    if (left > 0) {
        m_pump.SetTimer1(static_cast<unsigned>((left + 999999) / 1000000));
        return;
    }
    m_bTimedOut = 1;
    m_pump.KillTimer1();
}

void RadioLink::Pause()
{
    std::this_thread::sleep_for(m_timing.stepPause);
}

std::chrono::milliseconds RadioLink::AdapterListen() const
{
    const std::chrono::milliseconds adapter(m_pSerial->HoldBackMs() > 0 ? m_pSerial->HoldBackMs() + 4 : 0);
    return std::max({m_timing.stepPause, m_timing.replyListen, adapter});
}

void RadioLink::PauseAfterReply(std::chrono::milliseconds period)
{
    const std::int64_t until = m_lastRxNanos.load(std::memory_order_relaxed) +
                               std::chrono::duration_cast<std::chrono::nanoseconds>(period).count();
    const std::int64_t now = SteadyNanos();
    if (until > now)
        std::this_thread::sleep_for(std::chrono::nanoseconds(until - now));
}

bool RadioLink::StartResendTimer(std::chrono::milliseconds period)
{
    StopResendTimer();
    m_resendTimer = std::make_unique<PeriodicTimer>(period, [this] { OnResendTick(); });
    return true;
}

void RadioLink::StopResendTimer()
{
    m_resendTimer.reset();
}

void RadioLink::OnResendTick()
{
    // Only while the contact is awaited; a port closed by CLOSE is skipped
    // without a message, as this runs on the timer's thread.
    if (m_nMode.load(std::memory_order_relaxed) == kModeContact)
        m_pSerial->WriteIfOpen(&m_txBuf[0], 1);
}
