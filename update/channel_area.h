#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a radio's channel area holds, judged against a backup: the evidence
// recovery decides from, never a port's or a folder's name.
enum class ChannelAreaKind {
    Identical,  // the backup's channel data (the mode marker aside)
    CutShort,   // the backup's first blocks, the rest erased: a write-back cut short
    Erased,     // nothing but 0xFF
    OwnData     // channel data of its own
};

constexpr int kChannelBlocks = 32;

// True when one block of the flash (512 bytes as read) holds nothing but 0xFF.
bool FlashBlockErased(const std::uint8_t* block);

// True when the channel data hold nothing but 0xFF (the mode marker aside).
bool ChannelDataErased(const std::vector<std::uint8_t>& area);

// How `area` (16 KiB as read) relates to `backup` (16 KiB); for CutShort,
// `blocks` is how many of the 32 blocks came from the backup.
ChannelAreaKind ClassifyChannelArea(const std::vector<std::uint8_t>& area, const std::vector<std::uint8_t>& backup,
                                    int& blocks);

// "is erased", "holds the first 9 of 32 blocks of that backup and the rest
// erased", ...: what the area holds, for the questions and refusals.
std::string DescribeChannelArea(ChannelAreaKind kind, int blocks);
