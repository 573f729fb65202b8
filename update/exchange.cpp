// The one command exchange every step uses, and the retry policy of the
// block exchanges beside it.
#include "update/exchange.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "update/memory_map.h"

const char* const kLineDownText = "the serial line hung up (cable or USB adapter disconnected?)";

void UpdaterDialog::SetDetail(std::string text)
{
    m_strDetail = std::move(text);
    Note(m_strDetail);
}

void UpdaterDialog::Message(const std::string& text)
{
    m_strLastMessage = text;
    m_view.ShowMessage(text, false);
}

void UpdaterDialog::Note(const std::string& text)
{
    if (m_options.onNote)
        m_options.onNote(text);
}

std::string UpdaterDialog::BlockContext(std::uint32_t address) const
{
    char where[80];
    std::snprintf(where, sizeof where, "block 0x%06X, attempt %d of %d: ", static_cast<unsigned>(address), m_nAttempt,
                  kBlockAttempts);
    return where;
}

namespace {

void Count(std::vector<std::pair<std::string, int>>& counts, const std::string& step)
{
    if (counts.empty() || counts.back().first != step)
        counts.emplace_back(step, 0);
    ++counts.back().second;
}

}  // namespace

ExchangeResult UpdaterDialog::RunExchange(const Exchange& x)
{
    Count(m_stepAttempts, m_strStep);
    PrepareExchange(x.mode, x.expected);
    const auto period = static_cast<unsigned>(x.period.count());
    if (!x.armAfterWrite)
        m_pump.SetTimer1(period);
    for (const Exchange::Piece& piece : x.pieces)
        m_pSerial->Write(piece.data, piece.length);
    if (x.armAfterWrite)
        m_pump.SetTimer1(period);
    if (x.resendContact)
        StartResendTimer(m_timing.resendPeriod);

    WaitResult w = WaitReply();
    for (int expired = 1; w == WaitResult::TimedOut && expired < x.periods && !m_pSerial->LineDown(); ++expired) {
        if (x.onPeriod)
            x.onPeriod(x.periods - 1 - expired);
        m_bTimedOut = 0;
        m_pump.SetTimer1(period);
        w = WaitReply();
    }
    if (w != WaitResult::Reply || !x.keepListening)
        EndExchange();
    if (x.resendContact)
        StopResendTimer();

    switch (w) {
    case WaitResult::Aborted:
        if (!x.stopped.empty())
            SetDetail(x.context + x.stopped);
        return ExchangeResult::Aborted;
    case WaitResult::TimedOut: {
        const bool down = m_pSerial->LineDown();
        std::string text = x.context + (down ? kLineDownText : x.silence);
        if (!down && x.mode == kModeBlockRead)
            text += " (" + std::to_string(m_nRxCount.load()) + " of " + std::to_string(x.expected) + " bytes came)";
        const std::string lineErrors = m_pSerial->TakeLineErrors();
        if (!lineErrors.empty())
            text += "; the line reported: " + lineErrors;
        SetDetail(text);
        if (x.timeOutMessage)
            FailureMessage(x.timeOutMessage);
        return down ? ExchangeResult::LineDown : ExchangeResult::TimedOut;
    }
    case WaitResult::Reply:
        break;
    }
    m_pump.KillTimer1();
    if (x.refusalFails && m_bReplyError.load(std::memory_order_relaxed)) {
        SetDetail(x.context + x.refusal);
        return ExchangeResult::Refused;
    }
    return ExchangeResult::Reply;
}

bool UpdaterDialog::WithRetries(bool (UpdaterDialog::*attempt)(std::uint32_t), std::uint32_t address)
{
    for (int failures = 0;;) {
        if (!m_bRun)
            return false;  // aborted: nothing more goes to the port
        m_nAttempt = failures + 1;
        if ((this->*attempt)(address))
            return true;
        if (++failures >= kBlockAttempts || !m_bRun || m_pSerial->LineDown())
            return false;
        Count(m_stepRetries, m_strStep);
        ++m_nRetries;
        DrainLine();
    }
}

void UpdaterDialog::DrainLine()
{
    EndExchange();
    const auto quiet = std::chrono::duration_cast<std::chrono::nanoseconds>(m_timing.blockTimeout).count();
    const std::int64_t start = SteadyNanos();
    const std::int64_t limit = start + std::chrono::duration_cast<std::chrono::nanoseconds>(m_timing.drainLimit).count();
    for (;;) {
        // Quiet means nothing received for `quiet`, counted from the later of
        // the last byte and the start of the drain: a reply just about to
        // arrive is waited for too.
        const std::int64_t now = SteadyNanos();
        const std::int64_t quietFrom = std::max(m_lastRxNanos.load(std::memory_order_relaxed), start) + quiet;
        if (now >= quietFrom || now >= limit)
            break;
        // The wait runs in the message loop, as every wait of the update
        // does: the window keeps painting, and a CLOSE or stop request is
        // seen here, before the retry's command goes out.
        const std::int64_t left = std::min(quietFrom, limit) - now;
        m_bTimedOut = 0;
        m_pump.SetTimer1(static_cast<unsigned>((left + 999999) / 1000000));
        while (!m_bTimedOut && m_bRun)
            m_pump.DispatchNextMessage();
        if (!m_bRun) {
            m_pump.KillTimer1();
            return;  // stopped: no retry follows
        }
    }
    m_pSerial->Purge();
}

void UpdaterDialog::Pause()
{
    std::this_thread::sleep_for(m_timing.stepPause);
}

void UpdaterDialog::PauseAfterReply(std::chrono::milliseconds period)
{
    const std::int64_t until = m_lastRxNanos.load(std::memory_order_relaxed) +
                               std::chrono::duration_cast<std::chrono::nanoseconds>(period).count();
    const std::int64_t now = SteadyNanos();
    if (until > now)
        std::this_thread::sleep_for(std::chrono::nanoseconds(until - now));
}

bool UpdaterDialog::LineStaysQuiet()
{
    // Stray bytes are counted from the start of the last exchange: those
    // behind its acknowledgement, and in the idle mode every byte. A whole
    // block time-out of silence shows that no answer is still on its way.
    EndExchange();
    m_bReplyDone = 0;  // nothing completes in the idle mode: the wait ends at the time-out
    m_bTimedOut = 0;
    m_pump.SetTimer1(static_cast<unsigned>(m_timing.blockTimeout.count()));
    if (WaitReply() == WaitResult::Aborted) {
        SetDetail("stopped by the user after the last block");
        return false;
    }
    const int stray = m_nStrayBytes.load();
    if (stray == 0)
        return true;
    SetDetail("the radio sent " + std::to_string(stray) +
              " byte(s) after the last acknowledgement: an exchange was lost, and the firmware may be incomplete");
    return false;
}
