// The stage exchange shared by block reads and writes, and their retries.
#include <cstdio>

#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "memory/radio_memory.h"

void UpdaterDialog::SetDetail(std::string text)
{
    m_strDetail = std::move(text);
    if (m_options.onNote)
        m_options.onNote(m_strDetail);
}

bool UpdaterDialog::BlockStage(std::int32_t mode, std::int32_t expected, const std::uint8_t* data,
                               std::uint32_t length, std::uint32_t address, int attempt, const char* what)
{
    PrepareExchange(mode, expected);
    m_view.SetTimer1(static_cast<unsigned>(m_timing.blockTimeout.count()));
    m_pSerial->Write(data, length);
    const WaitResult w = WaitReply();
    // A complete read reply is still listened to (ReplyHadExactLength).
    if (w != WaitResult::Reply || mode != kModeBlockRead)
        EndExchange();
    if (w == WaitResult::Reply)
        m_view.KillTimer1();

    char where[80];
    std::snprintf(where, sizeof where, "block 0x%06X, attempt %d of %d: ", static_cast<unsigned>(address), attempt,
                  kBlockAttempts);
    if (w == WaitResult::Aborted) {
        SetDetail(std::string(where) + "stopped by the user");
        return false;
    }
    if (w == WaitResult::TimedOut && m_pSerial->LineDown()) {
        SetDetail(std::string(where) + "the serial line hung up (cable or USB adapter disconnected?)");
        return false;
    }
    if (w == WaitResult::TimedOut) {
        std::string text = std::string(where) + "no answer to the " + what;
        if (mode == kModeBlockRead)
            text += " (" + std::to_string(m_nRxCount.load()) + " of " + std::to_string(expected) + " bytes came)";
        SetDetail(text);
        return false;
    }
    if (m_bReplyError.load(std::memory_order_relaxed)) {
        SetDetail(std::string(where) + "the radio refused the " + what);
        return false;
    }
    return true;
}

bool UpdaterDialog::RetryAllowed(int& failures)
{
    ++failures;
    if (failures >= kBlockAttempts || !m_bRun || m_pSerial->LineDown())
        return false;
    DrainLine();
    return true;
}
