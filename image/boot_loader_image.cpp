#include "image/boot_loader_image.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "image/srecord.h"

namespace {

// A loader program is laid out in regions, each a run of records that
// start where the previous one ended; a new region begins on a 256-byte
// boundary, at least 256 bytes on. Any other step means records were lost
// (or reordered) on the way.
bool InSequence(std::uint32_t end, std::uint32_t address)
{
    return address == end || (address >= end + 0x100 && address % 0x100 == 0);
}

std::string Hex4(std::uint32_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

// The record's body as sent: the text after "S1", upper case, without blanks.
std::string Body(const std::string& line)
{
    std::size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    std::string body = line.substr(2, end - 2);
    for (char& c : body)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return body;
}

}  // namespace

bool BootLoaderImage::LoadS19(const std::string& path, BootLoaderImage& image, std::string& error)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    return LoadS19(in, path, image, error);
}

bool BootLoaderImage::LoadS19(std::istream& in, const std::string& path, BootLoaderImage& image, std::string& error)
{
    error.clear();
    std::vector<std::string> records;
    std::string line;
    long number = 0, termination = 0;
    std::uint32_t end = 0;
    SRecord record;
    TextLines lines(in);
    while (lines.Next(line)) {
        ++number;
        const std::string where = path + " line " + std::to_string(number) + ": ";
        const SRecordStatus status = ParseSRecord(line, record);
        if (status == SRecordStatus::NotData) {
            termination = termination == 0 && IsTerminationRecord(line) ? number : termination;
            continue;
        }
        if (status != SRecordStatus::Ok)
            error = where + DescribeSRecordStatus(status);
        else if (record.type != 1)
            error = where + "only S1 records belong in a boot program";
        else if (record.length > static_cast<std::size_t>(kMaxRecordData))
            error = where + "more than " + std::to_string(kMaxRecordData) + " data bytes in one record";
        else if (termination != 0)
            error = where + "a data record after the termination record (line " + std::to_string(termination) + ")";
        else if (!records.empty() && !InSequence(end, record.address))
            error = where + "out of sequence: it loads at " + Hex4(record.address) + ", the previous record ended at " +
                    Hex4(end) + ": records are missing";
        if (!error.empty())
            return false;
        end = record.address + static_cast<std::uint32_t>(record.length);
        records.push_back(Body(line));
    }
    if (lines.Overlong())
        error = path + " line " + std::to_string(number + 1) + ": a line of more than " +
                std::to_string(TextLines::kMaxLineLength) + " characters: not S-record text";
    else if (records.empty())
        error = path + ": no S1 record";
    else if (termination == 0)
        error = path + ": no termination record (S9) after the last S1 record: the file is cut short";
    if (!error.empty())
        return false;
    image = BootLoaderImage(std::move(records));
    return true;
}
