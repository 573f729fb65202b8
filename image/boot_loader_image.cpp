#include "image/boot_loader_image.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>

#include "image/srecord.h"

namespace {

// One S1 record body for `n` bytes at `address`, data from `byteAt`.
template <typename ByteAt>
std::string MakeS1Body(std::uint16_t address, int n, ByteAt byteAt)
{
    char buf[8];
    std::string body;
    unsigned sum = static_cast<unsigned>(n + 3) + (address >> 8) + (address & 0xFF);
    std::snprintf(buf, sizeof buf, "%02X%04X", n + 3, address);
    body += buf;
    for (int i = 0; i < n; ++i) {
        const unsigned b = byteAt(address + i) & 0xFFu;
        sum += b;
        std::snprintf(buf, sizeof buf, "%02X", b);
        body += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X", ~sum & 0xFFu);
    body += buf;
    return body;
}

BootLoaderImage BuildStandIn()
{
    // Record lengths of the two load ranges; the short records sit at
    // indices 15, 31, 47, 49 (first range) and 65, 81 (second range).
    std::vector<std::string> records;
    auto content = [](unsigned address) {
        // Deterministic filler: this stand-in is never executed by a radio.
        unsigned x = address * 2654435761u;
        return (x >> 13) ^ (x >> 24);
    };
    auto lengthAt = [](int index) {
        switch (index) {
        case 15: case 47: case 65: case 81: return 15;
        case 31: return 13;
        case 49: return 10;
        default: return 16;
        }
    };
    std::uint16_t address = 0x0990;
    for (int i = 0; i < 86; ++i) {
        if (i == 50)
            address = 0x1000;
        const int n = lengthAt(i);
        records.push_back(MakeS1Body(address, n, content));
        address = static_cast<std::uint16_t>(address + n);
    }
    return BootLoaderImage(std::move(records));
}

}  // namespace

const BootLoaderImage& BootLoaderImage::BuiltIn()
{
    static const BootLoaderImage image = BuildStandIn();
    return image;
}

bool BootLoaderImage::LoadS19(const std::string& path, BootLoaderImage& image, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    std::vector<std::string> records;
    std::string line;
    long number = 0;
    SRecord record;
    while (std::getline(in, line)) {
        ++number;
        const SRecordStatus status = ParseSRecord(line, record);
        if (status == SRecordStatus::NotData)
            continue;
        const std::string where = path + " line " + std::to_string(number) + ": ";
        if (status != SRecordStatus::Ok) {
            error = where + DescribeSRecordStatus(status);
            return false;
        }
        if (record.type != 1) {
            error = where + "only S1 records belong in a boot program";
            return false;
        }
        if (record.length > static_cast<std::size_t>(kMaxRecordData)) {
            error = where + "more than " + std::to_string(kMaxRecordData) + " data bytes in one record";
            return false;
        }
        std::size_t end = line.size();
        while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t'))
            --end;
        std::string body = line.substr(2, end - 2);
        for (char& c : body)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        records.push_back(body);
    }
    if (records.empty()) {
        error = path + ": no S1 record";
        return false;
    }
    image = BootLoaderImage(std::move(records));
    return true;
}
