#include "image/firmware_image.h"

#include "image/srecord.h"

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

void ConvertSRecords(std::istream& in, FirmwareImage& image, const ConversionCallbacks& callbacks)
{
    std::string line;
    SRecord record;
    long hundred = 0;
    while (std::getline(in, line)) {
        ++image.lines;
        if (callbacks.onLine)
            callbacks.onLine(image.lines);
        if (line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9')
            ++image.recordsByType[static_cast<std::size_t>(line[1] - '0')];
        const SRecordStatus status = ParseSRecord(line, record);
        if (status == SRecordStatus::NotData)
            continue;
        ++image.dataRecords;
        if (++hundred == 100) {
            hundred = 0;
            if (callbacks.onHundredth)
                callbacks.onHundredth(image.lines);
        }
        if (status != SRecordStatus::Ok) {
            image.errors.push_back({image.lines, DescribeSRecordStatus(status)});
            continue;
        }
        for (std::size_t i = 0; i < record.length; ++i) {
            // Bytes beyond the image have no place in it and are skipped.
            const std::uint64_t address = std::uint64_t(record.address) + i;
            if (address < kImageBase || address >= std::uint64_t(kImageBase) + kImageSize) {
                ++image.bytesOutside;
                continue;
            }
            const std::size_t offset = static_cast<std::size_t>(address - kImageBase);
            if (image.setMask[offset])
                ++image.bytesOverlapping;
            else
                ++image.bytesSet;
            image.setMask[offset] = true;
            image.bytes[offset] = record.data[i];
        }
    }
}
