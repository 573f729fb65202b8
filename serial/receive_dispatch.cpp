// Receive dispatch and the command wait of UpdaterDialog.
#include <algorithm>
#include <thread>

#include "app/dialog_view.h"
#include "app/updater_dialog.h"

namespace {

std::int64_t NowNanos()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void UpdaterDialog::OnReceive(unsigned count)
{
    Dispatch(m_pSerial->ReadBuffer(), count);
}

void UpdaterDialog::Dispatch(const std::uint8_t* buf, unsigned count)
{
    if (count == 0)
        return;
    m_lastRxNanos.store(NowNanos(), std::memory_order_relaxed);
    bool done = false;
    {
        std::lock_guard<std::mutex> lock(m_exchangeMutex);
        const std::int32_t mode = m_nMode.load(std::memory_order_relaxed);
        if (mode == kModeContact) {
            for (unsigned i = 0; i < count; ++i)
                done = done || buf[i] == 0x11;
        } else if (mode == kModeBootRecord || mode == kModeStatus) {
            const std::uint8_t accept = mode == kModeBootRecord ? 0x01 : 0x31;
            const std::uint8_t refuse = mode == kModeBootRecord ? 0x02 : 0x32;
            for (unsigned i = 0; i < count; ++i) {
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
        if (done)
            m_bReplyDone.store(1, std::memory_order_release);
    }
    if (done)
        m_view.Wake();
}

void UpdaterDialog::PrepareExchange(std::int32_t mode, std::int32_t expected)
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
    m_nMode.store(mode, std::memory_order_relaxed);
}

void UpdaterDialog::EndExchange()
{
    std::lock_guard<std::mutex> lock(m_exchangeMutex);
    m_nMode.store(kModeIdle, std::memory_order_relaxed);
}

UpdaterDialog::WaitResult UpdaterDialog::WaitReply()
{
    while (!m_bReplyDone.load(std::memory_order_acquire)) {
        if (!m_view.DispatchNextMessage())
            continue;  // woken: test the reply flag again
        if (!m_bRun) {
            m_view.KillTimer1();
            return WaitResult::Aborted;
        }
        if (m_bTimedOut)
            return WaitResult::TimedOut;
    }
    return WaitResult::Reply;
}

void UpdaterDialog::DrainLine()
{
    EndExchange();
    const auto quiet = std::chrono::duration_cast<std::chrono::nanoseconds>(m_timing.drainQuiet).count();
    const std::int64_t start = NowNanos();
    const std::int64_t limit = start + std::chrono::duration_cast<std::chrono::nanoseconds>(m_timing.drainLimit).count();
    for (;;) {
        // Quiet means nothing received for `quiet`, counted from the later of
        // the last byte and the start of the drain: a reply just about to
        // arrive is waited for too.
        const std::int64_t now = NowNanos();
        const std::int64_t quietFrom = std::max(m_lastRxNanos.load(std::memory_order_relaxed), start) + quiet;
        if (now >= quietFrom || now >= limit)
            break;
        std::this_thread::sleep_for(std::chrono::nanoseconds(std::min(quietFrom, limit) - now));
    }
    m_pSerial->Purge();
}

void UpdaterDialog::Pause()
{
    std::this_thread::sleep_for(m_timing.stepPause);
}
