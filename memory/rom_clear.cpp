// Clearing the radio's flash with the two clear commands.
#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "memory/radio_memory.h"
#include "res/resource.h"

namespace {

constexpr int kClearPeriods = 20;

}  // namespace

bool UpdaterDialog::ClearRom()
{
    struct ClearCommand {
        std::uint8_t opcode;
        std::uint8_t area;
        const char* countdownPrefix;  // before the seconds left
    };
    static const ClearCommand commands[2] = {{0x38, 0x00, "\t\t\t"}, {0x48, 0x01, "\t"}};

    for (const ClearCommand& cmd : commands) {
        if (!m_bRun)
            return false;
        BuildBlockCommand(m_txBuf.data(), cmd.opcode, kImageBase, cmd.area);
        m_txBuf[6] = 0x00;
        int periods = 0;
        PrepareExchange(kModeStatus);
        m_view.SetTimer1(static_cast<unsigned>(m_timing.clearTick.count()));
        m_bEraseStarted = true;
        m_pSerial->Write(m_txBuf.data(), 8);
        for (;;) {
            const WaitResult w = WaitReply();
            if (w == WaitResult::Reply)
                break;
            if (w == WaitResult::Aborted) {
                EndExchange();
                SetDetail("ROM clear stopped by the user");
                return false;
            }
            // A line that hung up will not answer: no need to count down the rest.
            if (++periods > kClearPeriods || m_pSerial->LineDown()) {
                EndExchange();
                SetDetail(m_pSerial->LineDown() ? "the serial line hung up (cable or USB adapter disconnected?)"
                                                : "the radio did not confirm the ROM clear within " +
                                                      std::to_string(kClearPeriods) + " periods");
                m_view.ShowMessage(TXT_TIME_OUT_DOT, false);
                return false;
            }
            ShowTransient(cmd.countdownPrefix + std::to_string(kClearPeriods - periods));
            m_bTimedOut = 0;
            m_view.SetTimer1(static_cast<unsigned>(m_timing.clearTick.count()));
        }
        EndExchange();
        m_view.KillTimer1();
    }
    return true;
}
