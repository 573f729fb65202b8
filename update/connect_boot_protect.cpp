// The short exchanges with the radio: contact, boot start, data-protect query.
#include <algorithm>

#include "res/resource.h"
#include "update/exchange.h"
#include "update/protocol.h"
#include "update/update_steps.h"

namespace {

// A command answered by one byte; "Time out" when the radio is silent.
Exchange ShortExchange(RadioLink::ReceiveMode mode, const std::uint8_t* command, std::uint32_t length,
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

bool ConnectRadio(UpdateContext& u)
{
    u.m_link.TxBuf()[0] = protocol::kContactRequest;
    Exchange x = ShortExchange(RadioLink::kModeContact, u.m_link.TxBuf(), 1, u.m_link.Times().contactTimeout,
                               "the radio's loader did not answer the contact byte "
                               "(is the radio on and in loader mode?)");
    x.resendContact = true;
    return u.Exchange(x) == ExchangeResult::Reply;
}

// Either answer, "1" or "2", counts for the boot start and the protect query.
bool StartBootProgram(UpdateContext& u)
{
    std::fill(u.m_link.TxBuf(), u.m_link.TxBuf() + RadioLink::kTxBufSize, std::uint8_t{0});
    u.m_link.TxBuf()[0] = protocol::kBootStart;
    return u.Exchange(ShortExchange(RadioLink::kModeStatus, u.m_link.TxBuf(), protocol::kBootStartLength,
                                     u.m_link.Times().bootStartTimeout, "the boot program did not answer the start command")) ==
           ExchangeResult::Reply;
}

bool QueryDataProtect(UpdateContext& u)
{
    u.m_link.TxBuf()[0] = protocol::kProtectQuery;
    return u.Exchange(ShortExchange(RadioLink::kModeStatus, u.m_link.TxBuf(), 1, u.m_link.Times().protectTimeout,
                                     "the boot program did not answer the data-protect query")) ==
           ExchangeResult::Reply;
}
