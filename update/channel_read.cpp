// Reading the radio's channel data into the image before the flash is cleared.
#include <cstring>

#include "update/exchange.h"
#include "update/memory_map.h"
#include "update/update_steps.h"

bool ReadBlock(UpdateContext& u, std::uint32_t address)
{
    BuildBlockCommand(u.m_link.TxBuf(), protocol::kReadBlock, address, AreaByte(address));
    Exchange x;
    x.mode = RadioLink::kModeBlockRead;
    x.pieces = {{u.m_link.TxBuf(), protocol::kCommandLength}};
    x.expected = kReadReplySize;
    x.period = u.m_link.Times().blockTimeout;
    x.keepListening = true;  // see ReplyHadLength
    x.context = u.BlockContext(address);
    x.silence = "no answer to the read command";
    x.stopped = "stopped by the user";
    if (u.Exchange(x) != ExchangeResult::Reply)
        return false;
    std::string detail;
    if (u.m_link.ReplyHadLength(kReadReplySize, detail))
        return true;
    u.SetDetail(u.BlockContext(address) + detail);
    return false;
}

bool StoreChannelBlock(UpdateContext& u, std::uint32_t address, std::uint8_t* block)
{
    if (address <= kMarkerAddress && kMarkerAddress < address + kBlockSize)
        block[kMarkerAddress - address] = u.m_strMode == "RELEASE" ? kMarkerRelease : kMarkerTest;
    if (!u.m_hDataFile.WriteAt(address - kImageBase, block, kBlockSize)) {
        u.SetDetail("cannot write the data file " + u.m_dataFilePath + ": " + u.m_hDataFile.LastError());
        return false;
    }
    std::memcpy(&u.m_channelData[address - kChannelStart], block, kBlockSize);
    return true;
}

bool WriteBackBackup(UpdateContext& u, std::vector<std::uint8_t>& data, const std::string& path)
{
    u.Note("writing back the channel data of " + path);
    for (std::uint32_t address = kChannelStart; address < kChannelEnd; address += kBlockSize) {
        if (!StoreChannelBlock(u, address, &data[address - kChannelStart]))
            return false;
    }
    u.m_writtenBackFrom = path;
    return true;
}

bool ReadChannelData(UpdateContext& u)
{
    const bool fromBackup = !u.m_request.channelData.empty();
    u.m_channelData.assign(kChannelSize, 0);
    u.Progress(0, kChannelSize, "bytes");
    for (std::uint32_t address = kChannelStart; address < kChannelEnd; address += kBlockSize) {
        std::uint8_t block[kBlockSize];
        if (fromBackup) {
            if (!u.m_link.Running())
                return false;
            std::memcpy(block, &u.m_request.channelData[address - kChannelStart], kBlockSize);
        } else {
            if (!u.WithRetries(ReadBlock, address))
                return false;
            std::memcpy(block, &u.m_link.RxBuf()[2], kBlockSize);  // after the two header bytes
        }
        if (!StoreChannelBlock(u, address, block))
            return false;
        u.Progress(address + kBlockSize - kChannelStart, kChannelSize, "bytes");
        if (fromBackup)
            u.m_link.Pause();  // after a read, the pause was spent listening for stray bytes
    }
    u.m_channelDataRead = true;
    if (fromBackup)
        u.m_writtenBackFrom = u.m_request.channelDataFile;
    return true;
}
