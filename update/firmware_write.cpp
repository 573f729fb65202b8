// Writing the image back to the radio, block by block: a command stage and
// a data stage, each acknowledged.
#include <algorithm>

#include "update/exchange.h"
#include "update/memory_map.h"
#include "update/update_steps.h"

namespace {

Exchange WriteStage(const std::uint8_t* data, std::uint32_t length, std::chrono::milliseconds timeout,
                    std::string context, const char* what)
{
    Exchange x;
    x.mode = RadioLink::kModeStatus;
    x.pieces = {{data, length}};
    x.period = timeout;
    x.context = std::move(context);
    x.silence = std::string("no answer to the ") + what;
    x.refusal = std::string("the radio refused the ") + what;
    x.stopped = "stopped by the user";
    return x;
}

}  // namespace

bool WriteBlock(UpdateContext& u, std::uint32_t address)
{
    // The block is at hand before the command goes out: the data stage then
    // follows the acknowledgement at once, and a file that cannot be read
    // starts nothing on the radio.
    std::uint8_t block[kBlockSize];
    if (!ReadImageBlock(u, address, block))
        return false;
    BuildBlockCommand(u.m_link.TxBuf(), protocol::kWriteBlock, address, AreaByte(address));
    if (u.Exchange(WriteStage(u.m_link.TxBuf(), protocol::kCommandLength, u.m_link.Times().blockTimeout,
                               u.BlockContext(address), "write command")) != ExchangeResult::Reply)
        return false;
    return u.Exchange(WriteStage(block, kBlockSize, u.m_link.Times().blockTimeout, u.BlockContext(address), "block data")) ==
           ExchangeResult::Reply;
}

bool ReadImageBlock(UpdateContext& u, std::uint32_t address, std::uint8_t* block)
{
    if (u.m_hDataFile.ReadAt(address - kImageBase, block, kBlockSize))
        return true;
    u.SetDetail("cannot read the data file " + u.m_dataFilePath + ": " + u.m_hDataFile.LastError());
    return false;
}

// The block and the two before it: two answers to one block's data shift
// the next block's acknowledgements too, so the evidence may come two blocks
// late.
static void PutInDoubt(std::vector<std::uint32_t>& inDoubt, std::uint32_t address)
{
    for (std::uint32_t back = 3; back-- > 0;) {
        const std::uint32_t offset = back * kBlockSize;
        if (address - kImageBase >= offset &&
            std::find(inDoubt.begin(), inDoubt.end(), address - offset) == inDoubt.end())
            inDoubt.push_back(address - offset);
    }
}

bool WriteFirmware(UpdateContext& u)
{
    u.Progress(0, kImageSize, "bytes");
    u.m_link.TakeLateBytes();  // from here on, late bytes are the write's
    // Bytes that no exchange awaited, or a retry, right after a block: its
    // acknowledgement may have answered something else (a radio that gave up
    // waiting for a block's data reads them as commands, and answers a
    // protect query among them "1"). Those blocks are read back when the
    // write is done (CheckBlocksInDoubt).
    std::vector<std::uint32_t>& inDoubt = u.m_blocksInDoubt;
    inDoubt.clear();
    int lateSeen = 0;
    // Unsigned comparison: stepping by 512 this writes the 256 blocks up to
    // 0xFFFE00 and stops at 0x1000000.
    for (std::uint32_t address = kImageBase; address < 0xFFFFFF; address += kBlockSize) {
        if (!u.WithRetries(WriteBlock, address))
            return false;
        const int late = u.m_link.LateBytesSoFar();
        if (late > lateSeen || u.m_attempt > 1)
            PutInDoubt(inDoubt, address);
        lateSeen = late;
        u.Progress(address + kBlockSize - kImageBase, kImageSize, "bytes");
        u.m_link.PauseAfterReply(u.m_link.Times().stepPause);
    }
    return true;
}
