// The receive dispatch (reader thread) and the command wait (UI thread).
#include "update/protocol.h"
#include "update/radio_link.h"

void RadioLink::OnReceive(const unsigned char* data, unsigned count)
{
    Dispatch(data, count);
}

void RadioLink::Dispatch(const std::uint8_t* buf, unsigned count)
{
    if (count == 0)
        return;
    m_lastRxNanos.store(SteadyNanos(), std::memory_order_relaxed);
    bool done = false;
    {
        std::lock_guard<std::mutex> lock(m_exchangeMutex);
        const ReceiveMode mode = m_nMode.load(std::memory_order_relaxed);
        if (mode == kModeIdle) {
            m_strayBytes += static_cast<int>(count);  // nothing awaits them
            m_lateBytes += static_cast<int>(count);
        }
        if (mode == kModeContact) {
            for (unsigned i = 0; i < count; ++i)
                done = done || buf[i] == protocol::kContactAnswer;
        } else if (mode == kModeBootRecord || mode == kModeStatus) {
            const bool boot = mode == kModeBootRecord;
            const std::uint8_t accept = boot ? protocol::kFrameAccept : protocol::kStatusAccept;
            const std::uint8_t refuse = boot ? protocol::kFrameRefuse : protocol::kStatusRefuse;
            // The answer is one byte: whatever follows it is stray.
            const bool answered = m_bReplyDone.load(std::memory_order_relaxed) != 0;
            for (unsigned i = 0; i < count; ++i) {
                if (answered || done) {
                    ++m_strayBytes;
                    ++m_lateBytes;
                }
                if (buf[i] == accept) {
                    done = true;
                } else if (buf[i] == refuse) {
                    done = true;
                    m_bReplyError.store(1, std::memory_order_relaxed);
                }
            }
        } else if (mode == kModeBlockRead) {
            std::int32_t n = m_nRxCount.load(std::memory_order_relaxed);
            for (unsigned i = 0; i < count; ++i, ++n) {
                if (n < static_cast<std::int32_t>(kRxBufSize))
                    m_rxBuf[static_cast<std::size_t>(n)] = buf[i];
                // bytes past the buffer are counted but not stored
            }
            m_nRxCount.store(n, std::memory_order_relaxed);
            done = n >= m_nRxExpected.load(std::memory_order_relaxed);
        }
        if (done) {
            m_replyNanos.store(SteadyNanos(), std::memory_order_relaxed);
            m_bReplyDone.store(1, std::memory_order_release);
        }
    }
    if (done)
        m_pump.Wake();
}

void RadioLink::PrepareExchange(ReceiveMode mode, std::int32_t expected)
{
    {
        std::lock_guard<std::mutex> lock(m_exchangeMutex);
        m_nMode.store(kModeIdle, std::memory_order_relaxed);
    }
    // Whatever arrived before this command belongs to nothing.
    m_pSerial->Purge();
    std::lock_guard<std::mutex> lock(m_exchangeMutex);
    m_nRxExpected.store(expected, std::memory_order_relaxed);
    m_nRxCount.store(0, std::memory_order_relaxed);
    m_bReplyError.store(0, std::memory_order_relaxed);
    m_bReplyDone.store(0, std::memory_order_relaxed);
    m_bTimedOut = 0;
    m_strayBytes = 0;
    m_nMode.store(mode, std::memory_order_relaxed);
}

void RadioLink::EndExchange()
{
    std::lock_guard<std::mutex> lock(m_exchangeMutex);
    m_nMode.store(kModeIdle, std::memory_order_relaxed);
}

RadioLink::WaitResult RadioLink::WaitReply()
{
    while (!m_bReplyDone.load(std::memory_order_acquire)) {
        if (!m_pump.DispatchNextMessage())
            continue;  // woken: test the reply flag again
        if (!m_bRun) {
            m_pump.KillTimer1();
            return WaitResult::Aborted;
        }
        if (m_bTimedOut)
            return WaitResult::TimedOut;
    }
    // A reply that came before the wait began must not hide a CLOSE or a
    // stop request that is already queued: the procedure would go on for as
    // long as the radio answers faster than this thread gets to run.
    while (m_bRun && m_pump.DispatchPendingMessage()) {
    }
    if (!m_bRun) {
        m_pump.KillTimer1();
        return WaitResult::Aborted;
    }
    return WaitResult::Reply;
}
