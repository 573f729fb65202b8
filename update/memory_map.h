#pragma once
#include <cstdint>

#include "image/firmware_image.h"
#include "update/protocol.h"

// The mode marker inside the channel-data area (image/firmware_image.h).
constexpr std::uint32_t kMarkerAddress = 0xFFB0F4;
constexpr std::uint8_t kMarkerRelease = 0x52;  // "R"
constexpr std::uint8_t kMarkerTest = 0xFF;

constexpr std::uint32_t kBlockSize = 512;
constexpr int kBlockAttempts = 5;
constexpr std::int32_t kReadReplySize = 514;  // 2 header bytes + a block

// The area byte of a block command: low for 0xFE0000-0xFEFFFF, high above.
inline std::uint8_t AreaByte(std::uint32_t address)
{
    return ((address >> 16) & 0xFF) == 0xFE ? protocol::kAreaLow : protocol::kAreaHigh;
}

// An 8-byte block command: opcode, address low byte first, length 512 low
// byte first, area byte.
inline void BuildBlockCommand(std::uint8_t* out, std::uint8_t opcode, std::uint32_t address, std::uint8_t area)
{
    out[0] = opcode;
    out[1] = static_cast<std::uint8_t>(address & 0xFF);
    out[2] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
    out[3] = static_cast<std::uint8_t>((address >> 16) & 0xFF);
    out[4] = 0x00;  // address bits 24-31: the radio's addresses have 24
    out[5] = protocol::kLengthLowBlock;
    out[6] = protocol::kLengthHighBlock;
    out[7] = area;
}
