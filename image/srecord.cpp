#include "image/srecord.h"

#include "image/hex_field.h"

int SRecordAddressBytes(int type)
{
    return (type >= 1 && type <= 3) ? type + 1 : 0;
}

// Fields are validated as pure hex digit pairs before they are read; for such
// a field this decode gives exactly what ParseHexField gives.
static int HexByte(const std::string& s, std::size_t pos)
{
    return HexDigitValue(s[pos]) * 16 + HexDigitValue(s[pos + 1]);
}

namespace {

// The length of a line without its trailing CR and blanks.
std::size_t ContentEnd(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return end;
}

// Count, address of `addressBytes`, data and checksum of `line` up to `end`.
SRecordStatus ParseFields(const std::string& line, std::size_t end, int type, int addressBytes, SRecord& record)
{
    if (end < 4)
        return SRecordStatus::LengthMismatch;
    if (!IsHexDigits(line, 2, end - 2))
        return SRecordStatus::BadDigits;
    const int count = HexByte(line, 2);
    if (end != 4 + 2 * static_cast<std::size_t>(count))
        return SRecordStatus::LengthMismatch;
    if (count < addressBytes + 1)
        return SRecordStatus::CountTooSmall;

    unsigned sum = static_cast<unsigned>(count);
    std::uint32_t address = 0;
    std::size_t pos = 4;
    for (int i = 0; i < addressBytes; ++i, pos += 2) {
        const int b = HexByte(line, pos);
        address = (address << 8) | static_cast<std::uint32_t>(b);
        sum += static_cast<unsigned>(b);
    }
    const std::size_t n = static_cast<std::size_t>(count - addressBytes - 1);
    for (std::size_t i = 0; i < n; ++i, pos += 2) {
        const int b = HexByte(line, pos);
        record.data[i] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    sum += static_cast<unsigned>(HexByte(line, pos));
    if ((sum & 0xFF) != 0xFF)
        return SRecordStatus::BadChecksum;
    record.type = type;
    record.address = address;
    record.length = n;
    return SRecordStatus::Ok;
}

}  // namespace

bool TextLines::Next(std::string& line)
{
    line.clear();
    if (m_overlong)
        return false;
    std::streambuf* in = m_in.rdbuf();
    int c = in->sbumpc();
    if (c == std::char_traits<char>::eof()) {
        m_in.setstate(std::ios::eofbit);
        return false;
    }
    for (; c != std::char_traits<char>::eof(); c = in->sbumpc()) {
        if (c == '\n')
            return true;
        if (c == '\r') {
            if (in->sgetc() == '\n')
                in->sbumpc();  // CR-LF
            return true;
        }
        if (line.size() == kMaxLineLength) {
            m_overlong = true;
            line.clear();
            return false;
        }
        line.push_back(static_cast<char>(c));
    }
    m_in.setstate(std::ios::eofbit);
    return true;
}

SRecordStatus ParseSRecord(const std::string& text, SRecord& record)
{
    const std::size_t end = ContentEnd(text);
    if (end < 2 || text[0] != 'S')
        return SRecordStatus::NotData;
    const int type = HexDigitValue(text[1]);
    const int addressBytes = SRecordAddressBytes(type);
    if (addressBytes == 0)
        return SRecordStatus::NotData;
    return ParseFields(text, end, type, addressBytes, record);
}

bool IsTerminationRecord(const std::string& text)
{
    const std::size_t end = ContentEnd(text);
    if (end < 2 || text[0] != 'S' || text[1] < '7' || text[1] > '9')
        return false;
    SRecord record;
    // S7 ends S3 files (32-bit address), S8 S2 files, S9 S1 files.
    const int addressBytes = 11 - (text[1] - '0');
    return ParseFields(text, end, text[1] - '0', addressBytes, record) == SRecordStatus::Ok && record.length == 0;
}

bool ParseCountRecord(const std::string& text, long& count)
{
    const std::size_t end = ContentEnd(text);
    if (end < 2 || text[0] != 'S' || (text[1] != '5' && text[1] != '6'))
        return false;
    const int countBytes = text[1] == '5' ? 2 : 3;
    SRecord record;
    if (ParseFields(text, end, text[1] - '0', countBytes, record) != SRecordStatus::Ok || record.length != 0)
        return false;
    count = static_cast<long>(record.address);
    return true;
}

const char* DescribeSRecordStatus(SRecordStatus status)
{
    switch (status) {
    case SRecordStatus::NotData: return "not a data record";
    case SRecordStatus::Ok: return "ok";
    case SRecordStatus::BadDigits: return "a character that is not a hexadecimal digit";
    case SRecordStatus::LengthMismatch: return "byte count disagrees with the line's length";
    case SRecordStatus::CountTooSmall: return "byte count too small for the address and checksum";
    case SRecordStatus::BadChecksum: return "checksum wrong";
    }
    return "unknown";
}
