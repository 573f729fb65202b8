#include "image/boot_loader_image.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include "image/srecord.h"

bool BootLoaderImage::LoadS19(const std::string& path, BootLoaderImage& image, std::string& error)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    std::vector<std::string> records;
    std::string line;
    long number = 0;
    SRecord record;
    TextLines lines(in);
    while (lines.Next(line)) {
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
