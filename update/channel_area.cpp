// Telling what a radio's channel area holds from its bytes alone.
#include "update/channel_area.h"

#include <algorithm>

#include "update/memory_map.h"

namespace {

constexpr std::size_t kMarkerOffset = kMarkerAddress - kChannelStart;

bool BlockErased(const std::vector<std::uint8_t>& area, int block)
{
    for (std::size_t i = block * kBlockSize; i < (block + 1) * kBlockSize; ++i) {
        if (area[i] != 0xFF && i != kMarkerOffset)
            return false;
    }
    return true;
}

bool BlockEqual(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int block)
{
    for (std::size_t i = block * kBlockSize; i < (block + 1) * kBlockSize; ++i) {
        if (a[i] != b[i] && i != kMarkerOffset)
            return false;
    }
    return true;
}

}  // namespace

bool FlashBlockErased(const std::uint8_t* block)
{
    return std::all_of(block, block + kBlockSize, [](std::uint8_t b) { return b == 0xFF; });
}

bool ChannelDataErased(const std::vector<std::uint8_t>& area)
{
    if (area.size() != kChannelSize)
        return false;
    for (int block = 0; block < kChannelBlocks; ++block) {
        if (!BlockErased(area, block))
            return false;
    }
    return true;
}

ChannelAreaKind ClassifyChannelArea(const std::vector<std::uint8_t>& area, const std::vector<std::uint8_t>& backup,
                                    int& blocks)
{
    blocks = 0;
    if (ChannelDataErased(area))
        return ChannelAreaKind::Erased;
    if (area.size() != kChannelSize || backup.size() != kChannelSize)
        return ChannelAreaKind::OwnData;
    while (blocks < kChannelBlocks && BlockEqual(area, backup, blocks))
        ++blocks;
    if (blocks == kChannelBlocks)
        return ChannelAreaKind::Identical;
    // The write goes block by block upwards: what it did not reach is erased.
    for (int block = blocks; block < kChannelBlocks; ++block) {
        if (!BlockErased(area, block))
            return ChannelAreaKind::OwnData;
    }
    return blocks > 0 ? ChannelAreaKind::CutShort : ChannelAreaKind::OwnData;
}

std::string DescribeChannelArea(ChannelAreaKind kind, int blocks)
{
    switch (kind) {
    case ChannelAreaKind::Identical:
        return "holds the channel data of that backup";
    case ChannelAreaKind::CutShort:
        return "holds the first " + std::to_string(blocks) + " of " + std::to_string(kChannelBlocks) +
               " blocks of that backup and the rest erased";
    case ChannelAreaKind::Erased:
        return "is erased";
    case ChannelAreaKind::OwnData:
        break;
    }
    return "holds channel data of its own, intact and different from that backup";
}
