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
// write them), each without its terminator.
class TextLines {
public:
    explicit TextLines(std::istream& in) : m_in(in) {}
    bool Next(std::string& line);

private:
    std::istream& m_in;
    std::string m_chunk;            // a piece read up to LF that held CRs inside
    std::size_t m_at = std::string::npos;  // where its next line begins
};

// Parses `line` (without its terminator; trailing blanks are ignored).
SRecordStatus ParseSRecord(const std::string& line, SRecord& record);
const char* DescribeSRecordStatus(SRecordStatus status);
// An S5 (16-bit) or S6 (24-bit) record count, checked to the letter; false
// for any other line or a damaged one.
bool ParseCountRecord(const std::string& line, long& count);
// Address bytes of a data record type (1: 2, 2: 3, 3: 4), 0 for others.
int SRecordAddressBytes(int type);
