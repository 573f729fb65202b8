// Reading the radio's channel data into the image before the flash is cleared.
#include <algorithm>
#include <cstring>
#include <thread>

#include "update/exchange.h"
#include "update/memory_map.h"

bool UpdaterDialog::ReadBlock(std::uint32_t address)
{
    BuildBlockCommand(m_txBuf.data(), protocol::kReadBlock, address, AreaByte(address));
    Exchange x;
    x.mode = kModeBlockRead;
    x.pieces = {{m_txBuf.data(), protocol::kCommandLength}};
    x.expected = kReadReplySize;
    x.period = m_timing.blockTimeout;
    x.keepListening = true;  // see ReplyHadExactLength
    x.context = BlockContext(address);
    x.silence = "no answer to the read command";
    x.stopped = "stopped by the user";
    return RunExchange(x) == ExchangeResult::Reply && ReplyHadExactLength(address);
}

bool UpdaterDialog::ReplyHadExactLength(std::uint32_t address)
{
    // The reply carries no checksum: a longer one (stray bytes before it, or
    // a late reply merging) would shift the data. The pause after the block
    // is spent listening for such extra bytes; any means a retry. Through a
    // USB adapter the last bytes come up to its latency later, so the
    // listen is at least that long.
    PauseAfterReply(std::max(m_timing.stepPause, m_timing.replyListen));
    EndExchange();
    const std::int32_t received = m_nRxCount.load(std::memory_order_relaxed);
    if (received == kReadReplySize)
        return true;
    SetDetail(BlockContext(address) + "the reply was " + std::to_string(received) + " bytes long, not " +
              std::to_string(kReadReplySize));
    return false;
}

bool UpdaterDialog::StoreChannelBlock(std::uint32_t address, std::uint8_t* block)
{
    if (address <= kMarkerAddress && kMarkerAddress < address + kBlockSize)
        block[kMarkerAddress - address] = m_strMode == "RELEASE" ? kMarkerRelease : kMarkerTest;
    if (!m_hDataFile.WriteAt(address - kImageBase, block, kBlockSize)) {
        SetDetail("cannot write the data file " + m_strDataFilePath + ": " + m_hDataFile.LastError());
        return false;
    }
    std::memcpy(&m_channelData[address - kChannelStart], block, kBlockSize);
    return true;
}

bool UpdaterDialog::WriteBackBackup(std::vector<std::uint8_t>& data, const std::string& path)
{
    Note("writing back the channel data of " + path);
    for (std::uint32_t address = kChannelStart; address < kChannelEnd; address += kBlockSize) {
        if (!StoreChannelBlock(address, &data[address - kChannelStart]))
            return false;
    }
    m_strWrittenBackFrom = path;
    return true;
}

bool UpdaterDialog::ReadChannelData()
{
    const bool fromBackup = !m_options.channelData.empty();
    m_channelData.assign(kChannelSize, 0);
    m_view.SetProgressRange(0, 0x3FFF);
    for (std::uint32_t address = kChannelStart; address < kChannelEnd; address += kBlockSize) {
        std::uint8_t block[kBlockSize];
        if (fromBackup) {
            if (!m_bRun)
                return false;
            std::memcpy(block, &m_options.channelData[address - kChannelStart], kBlockSize);
        } else {
            if (!WithRetries(&UpdaterDialog::ReadBlock, address))
                return false;
            std::memcpy(block, &m_rxBuf[2], kBlockSize);  // after the two header bytes
        }
        if (!StoreChannelBlock(address, block))
            return false;
        m_view.SetProgressPos(static_cast<int>(address + kBlockSize - kChannelStart));
        Progress(address + kBlockSize - kChannelStart, kChannelSize, "bytes");
        if (fromBackup)
            Pause();  // after a read, the pause was spent listening for stray bytes
    }
    m_view.SetProgressPos(0);
    m_channelDataRead = true;
    if (fromBackup)
        m_strWrittenBackFrom = m_options.channelDataFile;
    return true;
}
