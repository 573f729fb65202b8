#pragma once
#include <array>
#include <cstdint>
#include <istream>
#include <string>

// One S1, S2 or S3 data record, checked to the letter: hex digits only,
// the count agrees with the line's length, and the checksum is right.
struct SRecord {
    int type = 0;              // 1, 2 or 3
    std::uint32_t address = 0;
    std::size_t length = 0;    // data bytes
    std::array<std::uint8_t, 255> data{};
};

enum class SRecordStatus {
    NotData,         // not a line beginning "S1", "S2" or "S3": skipped
    Ok,
    BadDigits,       // a character that is not a hexadecimal digit
    LengthMismatch,  // the count disagrees with the line's length
    CountTooSmall,   // too short for its address and checksum
    BadChecksum
};

// Reads text lines that end with LF, CR-LF or a CR alone (as some old tools
// write them), each without its terminator. A line longer than
// kMaxLineLength is not S-record text: reading stops there (Next returns
// false and Overlong() tells why), so that a file without line breaks
// never fills memory.
class TextLines {
public:
    // The longest S-record is 514 characters; blanks and headers get room.
    static constexpr std::size_t kMaxLineLength = 4096;

    explicit TextLines(std::istream& in) : m_in(in) {}
    bool Next(std::string& line);
    bool Overlong() const { return m_overlong; }

private:
    std::istream& m_in;
    bool m_overlong = false;
};

// Parses `line` (without its terminator; trailing blanks are ignored).
SRecordStatus ParseSRecord(const std::string& line, SRecord& record);
const char* DescribeSRecordStatus(SRecordStatus status);
// An S7, S8 or S9 termination record, checked to the letter.
bool IsTerminationRecord(const std::string& line);
// An S5 (16-bit) or S6 (24-bit) record count, checked to the letter; false
// for any other line or a damaged one.
bool ParseCountRecord(const std::string& line, long& count);
// Address bytes of a data record type (1: 2, 2: 3, 3: 4), 0 for others.
int SRecordAddressBytes(int type);
