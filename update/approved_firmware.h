#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The shop's catalogue of approved firmware: one JSON object a line, each
// naming a firmware file by its SHA-256 and size, with the radio model, the
// release and a note. Where a catalogue is in force, a radio is written
// only with firmware it lists, unless the technician gives a reason.

struct ApprovedFirmware {
    std::string sha256;  // 64 lower-case hexadecimal digits
    std::uint64_t size = 0;
    std::string model;    // "VR-3900"
    std::string release;  // "R01.00"
    std::string note;
    std::string file;      // the file's name when it was approved
    std::string approved;  // when, UTC, ISO 8601
};

struct FirmwareCatalogue {
    std::string path;  // empty: no catalogue is in force
    std::vector<ApprovedFirmware> entries;
    // The entry of `sha256`, or null.
    const ApprovedFirmware* Find(const std::string& sha256) const;
};

// The catalogue in force: the first of `places` that exists (empty path
// when none does). False (and why, with the line's number) when it is
// damaged: a damaged catalogue is never half-read.
bool LoadFirmwareCatalogue(const std::vector<std::string>& places, FirmwareCatalogue& catalogue, std::string& error);

// Appends an entry to the catalogue at `path` (created when missing).
bool AppendApprovedFirmware(const std::string& path, const ApprovedFirmware& entry, std::string& error);

// "VR-3900 R01.00".
std::string DescribeApproved(const ApprovedFirmware& entry);
