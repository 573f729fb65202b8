// One command exchange on the link, the quiet before a retry, and the
// checks for bytes that no exchange awaited.
#include "update/exchange.h"

#include <algorithm>

#include "update/radio_link.h"

const char* const kLineDownText = "the serial line hung up (cable or USB adapter disconnected?)";

namespace {

std::size_t SentBytes(const Exchange& x)
{
    std::size_t bytes = 0;
    for (const Exchange::Piece& piece : x.pieces)
        bytes += piece.length;
    return bytes;
}

}  // namespace

ExchangeResult RadioLink::Run(const Exchange& x, std::string& detail)
{
    PrepareExchange(x.mode, x.expected);
    const auto period = static_cast<unsigned>(x.period.count());
    if (!x.armAfterWrite)
        ArmDeadline(period);
    // The bytes start on the wire once the ones before them have crossed it.
    m_wireFreeNanos = std::max(SteadyNanos(), m_wireFreeNanos) +
                      static_cast<std::int64_t>(SentBytes(x)) * m_timing.byteTime.count();
    for (const Exchange::Piece& piece : x.pieces)
        m_pSerial->Write(piece.data, piece.length);
    m_lastTxNanos = SteadyNanos();
    if (x.armAfterWrite)
        ArmDeadline(period);
    if (x.resendContact)
        StartResendTimer(m_timing.resendPeriod);

    WaitResult w = WaitReply();
    for (int expired = 1; w == WaitResult::TimedOut && expired < x.periods && !m_pSerial->LineDown(); ++expired) {
        if (x.onPeriod)
            x.onPeriod(x.periods - 1 - expired);
        m_bTimedOut = 0;
        ArmDeadline(period);
        w = WaitReply();
    }
    if (w != WaitResult::Reply || !x.keepListening)
        EndExchange();
    if (x.resendContact)
        StopResendTimer();
    return Judge(x, w, detail);
}

ExchangeResult RadioLink::Judge(const Exchange& x, WaitResult w, std::string& detail)
{
    switch (w) {
    case WaitResult::Aborted:
        if (!x.stopped.empty())
            detail = x.context + x.stopped;
        return ExchangeResult::Aborted;
    case WaitResult::TimedOut: {
        const bool down = m_pSerial->LineDown();
        detail = x.context + (down ? kLineDownText : x.silence);
        if (!down && x.mode == kModeBlockRead)
            detail += " (" + std::to_string(m_nRxCount.load()) + " of " + std::to_string(x.expected) + " bytes came)";
        const std::string lineErrors = m_pSerial->TakeLineErrors();
        if (!lineErrors.empty())
            detail += "; the line reported: " + lineErrors;
        return down ? ExchangeResult::LineDown : ExchangeResult::TimedOut;
    }
    case WaitResult::Reply:
        break;
    }
    m_pump.KillTimer1();
    // An answer needs its command: one that came while the command's bytes
    // were still unsent answers something else, and an exchange was lost.
    // (The contact byte is repeated while awaited, so it is always in flight.)
    if (x.mode != kModeContact && m_pSerial->BytesUnsent() > 0) {
        detail = x.context + "an answer came before the command had been sent: an exchange was lost";
        return ExchangeResult::Early;
    }
    // The reply crosses the wire too: a block read's 514 bytes after its command.
    const std::size_t replyBytes = x.mode == kModeBlockRead ? static_cast<std::size_t>(x.expected) : 1;
    if (x.mode != kModeContact && AnswerBeforeItCouldCome(SentBytes(x), replyBytes)) {
        detail = x.context + "an answer came before the command and its data could have reached the radio at "
                             "19200 baud: it is not their answer, and an exchange was lost";
        return ExchangeResult::Early;
    }
    if (x.refusalFails && m_bReplyError.load(std::memory_order_relaxed)) {
        detail = x.context + x.refusal;
        return ExchangeResult::Refused;
    }
    return ExchangeResult::Reply;
}

// Judged by the clock the wire keeps, not by what the driver reports (a USB
// adapter's own buffer is not counted there, and on Windows the write has
// completed long before): the answer completed before the last byte sent
// could have reached the radio.
bool RadioLink::AnswerBeforeItCouldCome(std::size_t sent, std::size_t reply)
{
    // A wire's clock may run a little fast; one byte time and 2 % spare it.
    const std::int64_t byte = m_timing.byteTime.count();
    const std::int64_t wire = static_cast<std::int64_t>(sent + reply) * byte;
    const bool onTime = m_replyNanos.load(std::memory_order_relaxed) >=
                        m_wireFreeNanos + static_cast<std::int64_t>(reply - 1) * byte - byte - wire / 50;
    // Only long exchanges tell a wire from a line that merely holds bytes
    // back (a USB adapter's latency timer): the channel reads, before any erase.
    if (sent + reply < kWireEvidenceBytes)
        return LineKeepsWireTime() && !onTime;
    if (m_answersJudged < kWireEvidence) {
        ++m_answersJudged;
        m_answersOnTime += onTime ? 1 : 0;
        return false;
    }
    return LineKeepsWireTime() && !onTime;
}

bool RadioLink::LineKeepsWireTime() const
{
    return m_answersJudged >= kWireEvidence && m_answersOnTime * 4 >= kWireEvidence * 3;
}

void RadioLink::DrainLine()
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
        ArmDeadline(static_cast<unsigned>((left + 999999) / 1000000));
        while (!m_bTimedOut && m_bRun)
            m_pump.DispatchNextMessage();
        if (!m_bRun) {
            m_pump.KillTimer1();
            return;  // stopped: no retry follows
        }
    }
    m_pSerial->Purge();
    TakeLateBytes();  // what the failed attempt left belongs to it
}

int RadioLink::LateBytesSoFar()
{
    m_lateBytes += static_cast<int>(m_pSerial->TakeDroppedBytes());
    return m_lateBytes.load();
}

int RadioLink::TakeLateBytes()
{
    LateBytesSoFar();
    return m_lateBytes.exchange(0);
}

bool RadioLink::ReplyHadLength(std::int32_t expected, std::string& detail)
{
    // The reply carries no checksum: a longer one (stray bytes before it, or
    // a late reply merging) would shift the data. The pause after the block
    // is spent listening for such extra bytes; any means a retry. A USB
    // adapter may hold the tail of a longer reply past the pause: it then
    // arrives before the next reply, as late bytes that the next block's
    // read reports (LateBytesBeforeLastReply) and its caller acts on.
    PauseAfterReply(m_timing.stepPause);
    EndExchange();
    const std::int32_t received = m_nRxCount.load(std::memory_order_relaxed);
    if (received == expected) {
        m_lateBeforeReply = TakeLateBytes();
        return true;
    }
    detail = "the reply was " + std::to_string(received) + " bytes long, not " + std::to_string(expected);
    return false;
}

bool RadioLink::LineStaysQuiet(bool suspicious, std::string& detail)
{
    // Stray bytes are counted from the start of the last exchange: those
    // behind its acknowledgement, and in the idle mode every byte. Every
    // answer of the write came after its command had been sent (Judge), so
    // an extra answer follows the last one at once, held back at most by a
    // USB adapter's latency. After late bytes a whole block time-out of
    // silence shows that no answer is still on its way.
    EndExchange();
    m_bReplyDone = 0;  // nothing completes in the idle mode: the wait ends at the time-out
    m_bTimedOut = 0;
    const auto listen = suspicious ? std::max(m_timing.blockTimeout, AdapterListen()) : AdapterListen();
    const std::int64_t from =
        std::max({m_lastRxNanos.load(std::memory_order_relaxed), m_lastTxNanos,
                  LineKeepsWireTime() ? m_wireFreeNanos : std::int64_t{0}});
    const std::int64_t left = from + std::chrono::duration_cast<std::chrono::nanoseconds>(listen).count() - SteadyNanos();
    if (left > 0) {
        ArmDeadline(static_cast<unsigned>((left + 999999) / 1000000));
        if (WaitReply() == WaitResult::Aborted) {
            detail = "stopped by the user after the last block";
            return false;
        }
    }
    // Idle bytes count as stray already; what a purge dropped does not.
    const int stray = m_strayBytes.load() + static_cast<int>(m_pSerial->TakeDroppedBytes());
    m_lateBytes = 0;
    if (stray == 0)
        return true;
    detail = "the radio sent " + std::to_string(stray) +
             " byte(s) after the last acknowledgement: an exchange was lost, and the firmware may be incomplete";
    return false;
}
