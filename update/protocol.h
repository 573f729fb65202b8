#pragma once
#include <cstdint>

// The bytes of the radio's serial protocol, tool to radio and radio to
// tool. Every command and reply byte of the update is named here, once.
namespace protocol {

// ---- the radio's resident loader ----
constexpr std::uint8_t kContactRequest = 0x18;  // "are you there?", repeated until answered
constexpr std::uint8_t kContactAnswer = 0x11;   // the loader is listening
constexpr std::uint8_t kBootFrameStart = 0x00;  // first byte of a boot frame (address bits 16-23)
constexpr std::uint8_t kFrameAccept = 0x01;     // a boot frame was taken
constexpr std::uint8_t kFrameRefuse = 0x02;     // a boot frame was refused
constexpr std::uint8_t kBootStart = 0x40;       // run the uploaded boot program (followed by four zero bytes)
constexpr int kBootStartLength = 5;

// ---- the boot program, once started ----
constexpr std::uint8_t kProtectQuery = 0xE8;  // data-protect status query, one byte
constexpr std::uint8_t kReadBlock = 0x28;     // read 512 bytes: reply of 2 header bytes + the block
constexpr std::uint8_t kClearFirst = 0x38;    // erase the flash, first command
constexpr std::uint8_t kClearSecond = 0x48;   // erase the flash, second command
constexpr std::uint8_t kWriteBlock = 0x08;    // write 512 bytes; the data stage follows the acknowledgement
constexpr std::uint8_t kStatusAccept = 0x31;  // "1": command or data accepted
constexpr std::uint8_t kStatusRefuse = 0x32;  // "2": command or data refused

// Block commands are 8 bytes: opcode, address low byte first, 0x00, length
// low byte first, area byte.
constexpr int kCommandLength = 8;
constexpr std::uint8_t kLengthLowBlock = 0x00;   // 512 = 0x0200, low byte
constexpr std::uint8_t kLengthHighBlock = 0x02;  // ... and high byte
// The clear commands name no length: the whole area goes.
constexpr std::uint8_t kLengthHighClear = 0x00;
constexpr std::uint8_t kAreaLow = 0x00;   // addresses 0xFE0000-0xFEFFFF
constexpr std::uint8_t kAreaHigh = 0x01;  // addresses 0xFF0000-0xFFFFFF

}  // namespace protocol
