// Reading the radio's channel data into the image before the flash is cleared.
#include <cstdio>
#include <cstring>

#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "memory/radio_memory.h"

bool UpdaterDialog::ReadBlock(std::uint32_t address)
{
    BuildBlockCommand(m_txBuf.data(), 0x28, address, 0x01);
    return BlockStage(kModeBlockRead, kReadReplySize, m_txBuf.data(), 8, address, m_nAttempt, "read command");
}

bool UpdaterDialog::ReplyHadExactLength(std::uint32_t address)
{
    // The reply carries no checksum: a longer one (stray bytes before it, or
    // a late reply merging) would shift the data. The pause after the block
    // is spent listening for such extra bytes; any means a retry.
    Pause();
    EndExchange();
    const std::int32_t received = m_nRxCount.load(std::memory_order_relaxed);
    if (received == kReadReplySize)
        return true;
    char where[80];
    std::snprintf(where, sizeof where, "block 0x%06X, attempt %d of %d: ", static_cast<unsigned>(address),
                  m_nAttempt, kBlockAttempts);
    SetDetail(std::string(where) + "the reply was " + std::to_string(received) + " bytes long, not " +
              std::to_string(kReadReplySize));
    return false;
}

bool UpdaterDialog::ReadChannelData()
{
    const bool fromBackup = !m_options.channelData.empty();
    m_channelData.assign(kChannelSize, 0);
    m_view.SetProgressRange(0, 0x3FFF);
    std::uint32_t address = kChannelStart;
    int failures = 0;
    while (address < kChannelEnd) {
        if (!m_bRun)
            return false;  // aborted: nothing more goes to the port
        std::uint8_t block[kBlockSize];
        const std::uint32_t index = address - kChannelStart;
        if (fromBackup) {
            std::memcpy(block, &m_options.channelData[index], kBlockSize);
        } else {
            m_nAttempt = failures + 1;
            if (!ReadBlock(address) || !ReplyHadExactLength(address)) {
                if (!RetryAllowed(failures))
                    return false;
                continue;
            }
            std::memcpy(block, &m_rxBuf[2], kBlockSize);
        }
        if (address <= kMarkerAddress && kMarkerAddress < address + kBlockSize)
            block[kMarkerAddress - address] = m_strMode == "RELEASE" ? kMarkerRelease : kMarkerTest;
        if (!m_hDataFile.WriteAt(address - kImageBase, block, kBlockSize)) {
            SetDetail("cannot write the data file " + m_strDataFilePath);
            return false;
        }
        std::memcpy(&m_channelData[index], block, kBlockSize);
        address += kBlockSize;
        m_view.SetProgressPos(static_cast<int>(address - kChannelStart));
        if (fromBackup)
            Pause();  // after a read, the pause was spent checking the reply's length
        failures = 0;
    }
    m_view.SetProgressPos(0);
    return true;
}
