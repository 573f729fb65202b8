#pragma once
#include <istream>
#include <string>
#include <vector>

// The boot program uploaded to the radio's loader: S1 record bodies (the
// text after "S1": count, 16-bit address, data, checksum), in transmission
// order. Only the radio maker's program may ever reach a radio, so the tool
// carries none: it reads the one the technician supplies.
class BootLoaderImage {
public:
    // A frame of 6 + n bytes is staged in the 128-byte transmit buffer.
    static constexpr int kMaxRecordData = 122;

    // Reads S1 records from a file (other record types are skipped). Every
    // record is checked before anything is sent: hex digits, count and
    // length, checksum, at most kMaxRecordData data bytes. The program must
    // be whole: records in sequence (each starts where the previous one
    // ended, or opens a new region) and a termination record after the
    // last. False and `error` (with the line number) when the file is
    // unusable.
    static bool LoadS19(const std::string& path, BootLoaderImage& image, std::string& error);
    // The same from an open stream; `name` names it in the error.
    static bool LoadS19(std::istream& in, const std::string& name, BootLoaderImage& image, std::string& error);

    const std::vector<std::string>& Records() const { return m_records; }

    explicit BootLoaderImage(std::vector<std::string> records = {}) : m_records(std::move(records)) {}

private:
    std::vector<std::string> m_records;
};
