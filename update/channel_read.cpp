// Reading the radio's channel data into the image before the flash is cleared.
#include <algorithm>
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
    const ExchangeResult result = u.Exchange(x);
    if (result != ExchangeResult::Reply) {
        // Bytes came that were not this reply's (an early answer, or part of
        // a reply that never completed): they may be an earlier reply's tail.
        u.m_repliesInDoubt = u.m_repliesInDoubt || result == ExchangeResult::Early || u.m_link.RxCount() > 0;
        return false;
    }
    std::string detail;
    if (u.m_link.ReplyHadLength(kReadReplySize, detail))
        return true;
    u.m_repliesInDoubt = true;  // a reply of another length: bytes not its own
    u.SetDetail(u.BlockContext(address) + detail);
    return false;
}

bool StoreChannelBlock(UpdateContext& u, std::uint32_t address, std::uint8_t* block)
{
    if (address <= kMarkerAddress && kMarkerAddress < address + kBlockSize)
        block[kMarkerAddress - address] = u.m_request.mode == "RELEASE" ? kMarkerRelease : kMarkerTest;
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

namespace {

// Whether the replies read so far may hold bytes that were not theirs. A
// reply with stray bytes before it completes early, and its tail comes
// after it: at once on a plain line, but through a USB adapter up to its
// latency later, after the next command, as late bytes or inside the next
// reply. So late bytes before any reply but the first, or a failed attempt
// of it that held foreign bytes, put every earlier one in doubt; after the
// last reply the line is listened to once for as long as an adapter holds
// bytes back.
bool RepliesInDoubt(UpdateContext& u, std::uint32_t address)
{
    if (address > kChannelStart && (u.m_repliesInDoubt || u.m_link.LateBytesBeforeLastReply() > 0))
        return true;
    if (address + kBlockSize < kChannelEnd)
        return false;
    u.m_link.PauseAfterReply(u.m_link.AdapterListen());
    u.m_link.Serial().Purge();  // what the driver holds counts too
    return u.m_link.TakeLateBytes() > 0;
}

// The whole channel area is read again after the line has been quiet,
// a few times at most.
bool ReadAgainFromTheStart(UpdateContext& u, int& rounds)
{
    if (++rounds > kBlockAttempts) {
        u.SetDetail("replies with bytes not their own kept coming while the channel data were read (" +
                    std::to_string(kBlockAttempts) + " reads of the channel area)");
        return false;
    }
    u.Note("a reply held bytes that were not its own, so earlier replies may too; the channel area is read "
           "again from its start");
    u.m_link.DrainLine();
    u.Progress(0, kChannelSize, "bytes");
    return u.m_link.Running();
}

}  // namespace

bool ReadChannelData(UpdateContext& u)
{
    // The radio is always read, also when channel data from a backup are to
    // be written: what it holds decides whether they may replace it, and is
    // kept if they do.
    u.m_channelData.assign(kChannelSize, 0);
    u.Progress(0, kChannelSize, "bytes");
    int rounds = 1;
    for (std::uint32_t address = kChannelStart; address < kChannelEnd;) {
        std::uint8_t block[kBlockSize];
        u.m_repliesInDoubt = false;
        if (!u.WithRetries(ReadBlock, address))
            return false;
        std::memcpy(block, &u.m_link.RxBuf()[2], kBlockSize);  // after the two header bytes
        if (RepliesInDoubt(u, address)) {
            if (!ReadAgainFromTheStart(u, rounds))
                return false;
            address = kChannelStart;
            continue;
        }
        if (!StoreChannelBlock(u, address, block))
            return false;
        u.Progress(address + kBlockSize - kChannelStart, kChannelSize, "bytes");
        address += kBlockSize;
    }
    u.m_channelDataRead = true;
    return true;
}
