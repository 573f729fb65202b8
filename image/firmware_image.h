#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

// The radio's firmware memory as one image: addresses 0xFE0000-0xFFFFFF,
// one byte each, 0xFF where no record sets a byte.
constexpr std::uint32_t kImageBase = 0xFE0000;
constexpr std::uint32_t kImageSize = 0x20000;
// Inside it, the radio's channel data (which the update keeps); the rest is
// the firmware area, which a firmware file should set whole.
constexpr std::uint32_t kChannelStart = 0xFF8000;
constexpr std::uint32_t kChannelEnd = 0xFFBFFF;  // inclusive
constexpr std::uint32_t kChannelSize = kChannelEnd - kChannelStart + 1;
constexpr std::uint32_t kFirmwareAreaSize = kImageSize - kChannelSize;

struct ConversionError {
    long line = 0;
    std::string what;
};

// The result of reading a firmware file, with what a technician needs to
// judge it.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kImageSize, 0xFF);
    long lines = 0;
    long dataRecords = 0;
    std::array<long, 10> recordsByType{};  // S0..S9 lines by type digit
    long bytesSet = 0;        // image bytes set (counting overwrites once)
    long bytesOutside = 0;    // data bytes whose address lies outside the image
    long bytesOverlapping = 0;  // data bytes that overwrite an earlier record's
    long declaredCount = -1;  // data records the last S5/S6 record counts (-1: none)
    long countLine = 0;       // ... and its line
    long terminationLine = 0; // the first S7/S8/S9 record's line (0: none)
    // Faults found, the first kListedErrors of them with their lines.
    static constexpr std::size_t kListedErrors = 100;
    long errorCount = 0;
    std::vector<ConversionError> errors;
    // Lines that look like data records but are not read as such (a
    // leading blank or tab, a byte-order mark, a lower-case "s"): the first
    // kListedErrors with their lines, and how many in all.
    long skippedCount = 0;
    std::vector<ConversionError> skipped;
    void AddError(long line, std::string what);
    // Address ranges set inside the image, merged, in ascending order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Ranges() const;
    // Bytes set outside the channel area (of kFirmwareAreaSize).
    long FirmwareAreaSet() const;
    // The update accepts the file: no bad record, and some byte of the image set.
    bool Acceptable() const { return errors.empty() && bytesSet > 0; }
    // Why the update refuses the file read from `path` (empty when it accepts it).
    std::string Refusal(const std::string& path) const;
    // One past the highest address of the firmware area that the file sets.
    std::uint32_t FirmwareAreaEnd() const;
    // A file without termination record whose data stop before the end of
    // the firmware area has most likely lost its tail: the update writes it
    // only when the technician insists. Why (empty when it is not cut short).
    std::string CutShort(const std::string& path) const;
    // What a technician should know of an acceptable file: how much of the
    // firmware area it sets, and warnings (no termination record, bytes
    // not set, bytes outside the image).
    std::vector<std::string> Notes() const;

    std::vector<bool> setMask = std::vector<bool>(kImageSize, false);
};

// Called for every line read (its number from 1), and for every hundredth
// data record with its line number.
struct ConversionCallbacks {
    std::function<void(long line)> onLine;
    std::function<void(long line)> onHundredth;
};

// Reads S-record text into `image`. Lines that are not S1/S2/S3 records are
// skipped; a data record that is malformed is recorded in image.errors
// (the conversion then reads on, so that every fault is listed), and so is
// a record count (S5/S6) that disagrees with the data records: the file has
// lost records.
void ConvertSRecords(std::istream& in, FirmwareImage& image, const ConversionCallbacks& callbacks = {});
