// Clearing the radio's flash with the two clear commands, each with twenty
// one-second periods of patience and a countdown behind the log line.
#include "res/resource.h"
#include "update/exchange.h"
#include "update/memory_map.h"
#include "update/update_steps.h"

namespace {

constexpr int kClearPeriods = 20;

}  // namespace

bool ClearRom(UpdateContext& u)
{
    struct ClearCommand {
        std::uint8_t opcode;
        std::uint8_t area;
        const char* countdownPrefix;  // before the seconds left
    };
    static const ClearCommand commands[2] = {{protocol::kClearFirst, protocol::kAreaLow, "\t\t\t"},
                                             {protocol::kClearSecond, protocol::kAreaHigh, "\t"}};

    for (const ClearCommand& cmd : commands) {
        if (!u.m_link.Running())
            return false;
        BuildBlockCommand(u.m_link.TxBuf(), cmd.opcode, kImageBase, cmd.area);
        u.m_link.TxBuf()[6] = protocol::kLengthHighClear;
        Exchange x;
        x.mode = RadioLink::kModeStatus;
        x.pieces = {{u.m_link.TxBuf(), protocol::kCommandLength}};
        x.period = u.m_link.Times().clearTick;
        x.periods = kClearPeriods + 1;  // fails at the twenty-first expiry
        x.onPeriod = [&u, &cmd](int left) { u.Transient(cmd.countdownPrefix + std::to_string(left)); };
        x.refusalFails = false;  // "2" acknowledges too
        x.timeOutMessage = TXT_TIME_OUT_DOT;
        x.silence = "the radio did not confirm the ROM clear within " + std::to_string(kClearPeriods) + " periods";
        x.stopped = "ROM clear stopped by the user";
        if (!u.BeginErase()) {
            u.SetDetail("stopped by the user before the ROM clear: the radio is unchanged");
            return false;
        }
        if (u.Exchange(x) != ExchangeResult::Reply)
            return false;
    }
    return true;
}
