// The short exchanges with the radio: contact, boot start, data-protect
// query, and the resend timer of the contact.
#include "res/resource.h"
#include "serial/periodic_timer.h"
#include "update/exchange.h"
#include "update/protocol.h"

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

namespace {

// A command answered by one byte; "Time out" when the radio is silent.
Exchange ShortExchange(UpdaterDialog::ReceiveMode mode, const std::uint8_t* command, std::uint32_t length,
                       std::chrono::milliseconds timeout, const char* silence)
{
    Exchange x;
    x.mode = mode;
    x.pieces = {{command, length}};
    x.period = timeout;
    x.refusalFails = false;  // either answer counts
    x.timeOutMessage = TXT_TIME_OUT;
    x.silence = silence;
    return x;
}

}  // namespace

bool UpdaterDialog::ConnectRadio()
{
    m_txBuf[0] = protocol::kContactRequest;
    Exchange x = ShortExchange(kModeContact, m_txBuf.data(), 1, m_timing.contactTimeout,
                               "the radio's loader did not answer the contact byte "
                               "(is the radio on and in loader mode?)");
    x.resendContact = true;
    return RunExchange(x) == ExchangeResult::Reply;
}

// Either answer, "1" or "2", counts for the boot start and the protect query.
bool UpdaterDialog::StartBootProgram()
{
    m_txBuf.fill(0);
    m_txBuf[0] = protocol::kBootStart;
    return RunExchange(ShortExchange(kModeStatus, m_txBuf.data(), protocol::kBootStartLength,
                                     m_timing.bootStartTimeout, "the boot program did not answer the start command")) ==
           ExchangeResult::Reply;
}

bool UpdaterDialog::QueryDataProtect()
{
    m_txBuf[0] = protocol::kProtectQuery;
    return RunExchange(ShortExchange(kModeStatus, m_txBuf.data(), 1, m_timing.protectTimeout,
                                     "the boot program did not answer the data-protect query")) ==
           ExchangeResult::Reply;
}
