// Writing the image back to the radio, block by block: a command stage and
// a data stage, each acknowledged.
#include "update/exchange.h"
#include "update/memory_map.h"

namespace {

Exchange WriteStage(const std::uint8_t* data, std::uint32_t length, std::chrono::milliseconds timeout,
                    std::string context, const char* what)
{
    Exchange x;
    x.mode = UpdaterDialog::kModeStatus;
    x.pieces = {{data, length}};
    x.period = timeout;
    x.context = std::move(context);
    x.silence = std::string("no answer to the ") + what;
    x.refusal = std::string("the radio refused the ") + what;
    x.stopped = "stopped by the user";
    return x;
}

}  // namespace

bool UpdaterDialog::WriteBlock(std::uint32_t address)
{
    // The block is at hand before the command goes out: the data stage then
    // follows the acknowledgement at once, and a file that cannot be read
    // starts nothing on the radio.
    std::uint8_t block[kBlockSize];
    if (!ReadImageBlock(address, block))
        return false;
    BuildBlockCommand(m_txBuf.data(), protocol::kWriteBlock, address, AreaByte(address));
    if (RunExchange(WriteStage(m_txBuf.data(), protocol::kCommandLength, m_timing.blockTimeout,
                               BlockContext(address), "write command")) != ExchangeResult::Reply)
        return false;
    return RunExchange(WriteStage(block, kBlockSize, m_timing.blockTimeout, BlockContext(address), "block data")) ==
           ExchangeResult::Reply;
}

bool UpdaterDialog::ReadImageBlock(std::uint32_t address, std::uint8_t* block)
{
    if (m_hDataFile.ReadAt(address - kImageBase, block, kBlockSize))
        return true;
    SetDetail("cannot read the data file " + m_strDataFilePath + ": " + m_hDataFile.LastError());
    return false;
}

bool UpdaterDialog::WriteFirmware()
{
    m_view.SetProgressRange(0, 0x3333);
    // Unsigned comparison: stepping by 512 this writes the 256 blocks up to
    // 0xFFFE00 and stops at 0x1000000.
    for (std::uint32_t address = kImageBase; address < 0xFFFFFF; address += kBlockSize) {
        if (!WithRetries(&UpdaterDialog::WriteBlock, address))
            return false;
        m_view.SetProgressPos(static_cast<int>((address + kBlockSize - kImageBase) / 10));
        Progress(address + kBlockSize - kImageBase, kImageSize, "bytes");
        PauseAfterReply(m_timing.stepPause);
    }
    m_view.SetProgressPos(0);
    return true;
}
