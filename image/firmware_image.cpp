#include "image/firmware_image.h"

#include <cstdio>

#include "image/srecord.h"

namespace {

// Records a data byte at `address` in the image, if it has a place there.
void Place(FirmwareImage& image, std::uint64_t address, std::uint8_t value)
{
    if (address < kImageBase || address >= std::uint64_t(kImageBase) + kImageSize) {
        ++image.bytesOutside;  // no place in the image: skipped
        return;
    }
    const std::size_t offset = static_cast<std::size_t>(address - kImageBase);
    if (image.setMask[offset])
        ++image.bytesOverlapping;
    else
        ++image.bytesSet;
    image.setMask[offset] = true;
    image.bytes[offset] = value;
}

// S5/S6 count records and S7-S9 termination records: what the file says of itself.
void NoteOtherRecord(FirmwareImage& image, const std::string& line)
{
    long count = 0;
    if (ParseCountRecord(line, count)) {
        image.declaredCount = count;
        image.countLine = image.lines;
    } else if (image.terminationLine == 0 && IsTerminationRecord(line)) {
        image.terminationLine = image.lines;
    }
}

}  // namespace

std::vector<std::pair<std::uint32_t, std::uint32_t>> FirmwareImage::Ranges() const
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    std::uint32_t i = 0;
    while (i < kImageSize) {
        if (!setMask[i]) {
            ++i;
            continue;
        }
        std::uint32_t j = i;
        while (j + 1 < kImageSize && setMask[j + 1])
            ++j;
        ranges.emplace_back(kImageBase + i, kImageBase + j);
        i = j + 1;
    }
    return ranges;
}

namespace {

// Why a line that is no record looks like a data record (S1, S2, S3) all
// the same; empty when it does not.
std::string SkippedDataLine(const std::string& line)
{
    std::size_t at = 0;
    std::string why;
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        at = 3;
        why = "a byte-order mark before it";
    }
    const std::size_t text = line.find_first_not_of(" \t", at);
    if (text == std::string::npos || text + 1 >= line.size() || (line[text] != 'S' && line[text] != 's') ||
        line[text + 1] < '1' || line[text + 1] > '3')
        return std::string();
    if (text > at)
        why = "a leading blank or tab";
    else if (line[text] == 's')
        why = "a lower-case \"s\"";
    return why;
}

}  // namespace

void ConvertSRecords(std::istream& in, FirmwareImage& image, const ConversionCallbacks& callbacks)
{
    std::string line;
    SRecord record;
    long hundred = 0;
    TextLines lines(in);
    while (lines.Next(line)) {
        ++image.lines;
        if (callbacks.onLine)
            callbacks.onLine(image.lines);
        if (line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9')
            ++image.recordsByType[static_cast<std::size_t>(line[1] - '0')];
        const SRecordStatus status = ParseSRecord(line, record);
        if (status == SRecordStatus::NotData) {
            const std::string why = SkippedDataLine(line);
            if (!why.empty() && ++image.skippedCount <= static_cast<long>(FirmwareImage::kListedErrors))
                image.skipped.push_back({image.lines, why});
            NoteOtherRecord(image, line);
            continue;
        }
        ++image.dataRecords;
        if (++hundred == 100) {
            hundred = 0;
            if (callbacks.onHundredth)
                callbacks.onHundredth(image.lines);
        }
        if (status != SRecordStatus::Ok) {
            image.AddError(image.lines, DescribeSRecordStatus(status));
            continue;
        }
        for (std::size_t i = 0; i < record.length; ++i)
            Place(image, std::uint64_t(record.address) + i, record.data[i]);
    }
    if (lines.Overlong()) {
        image.AddError(image.lines + 1, "a line of more than " + std::to_string(TextLines::kMaxLineLength) +
                                            " characters: not S-record text (reading stopped here)");
    }
    if (image.declaredCount >= 0 && image.declaredCount != image.dataRecords) {
        image.AddError(image.countLine, "the record count says " + std::to_string(image.declaredCount) +
                                            " data records, the file holds " + std::to_string(image.dataRecords) +
                                            ": records are missing");
    }
}

void FirmwareImage::AddError(long line, std::string what)
{
    if (++errorCount <= static_cast<long>(kListedErrors))
        errors.push_back({line, std::move(what)});
}

long FirmwareImage::FirmwareAreaSet() const
{
    long n = 0;
    for (std::uint32_t i = 0; i < kImageSize; ++i) {
        const std::uint32_t address = kImageBase + i;
        n += setMask[i] && (address < kChannelStart || address > kChannelEnd);
    }
    return n;
}

std::string FirmwareImage::Refusal(const std::string& path) const
{
    if (!errors.empty())
        return path + " line " + std::to_string(errors.front().line) + ": " + errors.front().what;
    if (bytesSet == 0)
        return path + ": no data record sets any byte of the image (0xFE0000-0xFFFFFF)";
    return std::string();
}

std::uint32_t FirmwareImage::FirmwareAreaEnd() const
{
    for (std::uint32_t i = kImageSize; i > 0; --i) {
        const std::uint32_t address = kImageBase + i - 1;
        if (setMask[i - 1] && (address < kChannelStart || address > kChannelEnd))
            return address + 1;
    }
    return kImageBase;
}

std::string FirmwareImage::CutShort(const std::string& path) const
{
    const std::uint32_t end = FirmwareAreaEnd();
    if (terminationLine != 0 || end == kImageBase + kImageSize)
        return std::string();
    char where[96] = "it sets no byte of the firmware area";
    if (end != kImageBase)
        std::snprintf(where, sizeof where, "its data end at 0x%06X, before the end of the firmware area (0x%06X)",
                      static_cast<unsigned>(end - 1), static_cast<unsigned>(kImageBase + kImageSize - 1));
    return path + " is cut short: it has no termination record (S7, S8 or S9), and " + where;
}

std::vector<std::string> FirmwareImage::Notes() const
{
    std::vector<std::string> notes;
    const long set = FirmwareAreaSet();
    notes.push_back("the file sets " + std::to_string(set) + " of the " + std::to_string(kFirmwareAreaSize) +
                    " bytes of the firmware area (the image outside the channel area)");
    if (set < static_cast<long>(kFirmwareAreaSize))
        notes.push_back("warning: " + std::to_string(kFirmwareAreaSize - set) +
                        " bytes of the firmware area are not set and will be written as 0xFF");
    if (terminationLine == 0)
        notes.push_back("warning: no termination record (S7, S8 or S9): the file may be cut short");
    for (const ConversionError& s : skipped)
        notes.push_back("warning: line " + std::to_string(s.line) +
                        " looks like a data record but is skipped (" + s.what + "): its bytes are not written");
    if (skippedCount > static_cast<long>(skipped.size()))
        notes.push_back("warning: " + std::to_string(skippedCount - static_cast<long>(skipped.size())) +
                        " more lines like these are skipped");
    if (bytesOutside > 0)
        notes.push_back("warning: " + std::to_string(bytesOutside) +
                        " data bytes lie outside the image (0xFE0000-0xFFFFFF) and are not written");
    return notes;
}
