// The short exchanges with the radio: contact, boot start, data-protect query.
#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "res/resource.h"
#include "serial/periodic_timer.h"

bool UpdaterDialog::StartResendTimer(std::chrono::milliseconds period)
{
    StopResendTimer();
    m_resendTimer = std::make_unique<PeriodicTimer>(period, [this] { OnResendTick(); });
    return true;
}

void UpdaterDialog::StopResendTimer()
{
    m_resendTimer.reset();
}

void UpdaterDialog::OnResendTick()
{
    // Only while the contact is awaited; a port closed by CLOSE is skipped
    // without a message, as this runs on the timer's thread.
    if (m_nMode.load(std::memory_order_relaxed) == kModeContact)
        m_pSerial->WriteIfOpen(&m_txBuf[0], 1);
}

bool UpdaterDialog::ShortExchange(std::int32_t mode, std::uint32_t length, std::chrono::milliseconds timeout,
                                  bool resend, const char* silence)
{
    PrepareExchange(mode);
    m_view.SetTimer1(static_cast<unsigned>(timeout.count()));
    m_pSerial->Write(m_txBuf.data(), length);
    if (resend)
        StartResendTimer(m_timing.resendPeriod);
    const WaitResult r = WaitReply();
    EndExchange();
    StopResendTimer();
    if (r == WaitResult::Reply)
        m_view.KillTimer1();
    if (r == WaitResult::TimedOut) {
        SetDetail(m_pSerial->LineDown() ? "the serial line hung up (cable or USB adapter disconnected?)" : silence);
        m_view.ShowMessage(TXT_TIME_OUT, false);
    }
    return r == WaitResult::Reply;
}

bool UpdaterDialog::ConnectRadio()
{
    m_txBuf[0] = 0x18;
    return ShortExchange(kModeContact, 1, m_timing.contactTimeout, true,
                         "the radio's loader did not answer the contact byte (is the radio on and in loader mode?)");
}

// Either answer, "1" or "2", counts for the boot start and the protect query.
bool UpdaterDialog::StartBootProgram()
{
    m_txBuf[0] = 0x40;
    m_txBuf[1] = m_txBuf[2] = m_txBuf[3] = m_txBuf[4] = 0x00;
    return ShortExchange(kModeStatus, 5, m_timing.bootStartTimeout, false,
                         "the boot program did not answer the start command");
}

bool UpdaterDialog::QueryDataProtect()
{
    m_txBuf[0] = 0xE8;
    return ShortExchange(kModeStatus, 1, m_timing.protectTimeout, false,
                         "the boot program did not answer the data-protect query");
}
