// Clearing the radio's flash with the two clear commands, each with twenty
// one-second periods of patience and a countdown behind the log line.
#include "res/resource.h"
#include "update/exchange.h"
#include "update/memory_map.h"

namespace {

constexpr int kClearPeriods = 20;

}  // namespace

bool UpdaterDialog::AcceptStopBeforeErase()
{
    StopState expected = StopState::Running;
    return m_stopState.compare_exchange_strong(expected, StopState::StopAccepted) ||
           expected == StopState::StopAccepted;
}

bool UpdaterDialog::BeginErase()
{
    StopState expected = StopState::Running;
    return m_stopState.compare_exchange_strong(expected, StopState::Erasing) || expected == StopState::Erasing;
}

bool UpdaterDialog::ClearRom()
{
    struct ClearCommand {
        std::uint8_t opcode;
        std::uint8_t area;
        const char* countdownPrefix;  // before the seconds left
    };
    static const ClearCommand commands[2] = {{protocol::kClearFirst, protocol::kAreaLow, "\t\t\t"},
                                             {protocol::kClearSecond, protocol::kAreaHigh, "\t"}};

    for (const ClearCommand& cmd : commands) {
        if (!m_bRun)
            return false;
        BuildBlockCommand(m_txBuf.data(), cmd.opcode, kImageBase, cmd.area);
        m_txBuf[6] = protocol::kLengthHighClear;
        Exchange x;
        x.mode = kModeStatus;
        x.pieces = {{m_txBuf.data(), protocol::kCommandLength}};
        x.period = m_timing.clearTick;
        x.periods = kClearPeriods + 1;  // fails at the twenty-first expiry
        x.onPeriod = [this, &cmd](int left) { ShowTransient(cmd.countdownPrefix + std::to_string(left)); };
        x.refusalFails = false;  // "2" acknowledges too
        x.timeOutMessage = TXT_TIME_OUT_DOT;
        x.silence = "the radio did not confirm the ROM clear within " + std::to_string(kClearPeriods) + " periods";
        x.stopped = "ROM clear stopped by the user";
        if (!BeginErase()) {
            SetDetail("stopped by the user before the ROM clear: the radio is unchanged");
            return false;
        }
        if (RunExchange(x) != ExchangeResult::Reply)
            return false;
    }
    return true;
}
