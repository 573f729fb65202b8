#include "frontends/cli/firmware_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

bool LoadFirmwareFile(const std::string& path, FirmwareImage& image)
{
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(std::filesystem::u8path(path), ec);
    const char* wrong = ec || !std::filesystem::exists(st)   ? "no such file"
                        : std::filesystem::is_directory(st)  ? "a folder, not a firmware file"
                        : !std::filesystem::is_regular_file(st) ? "not a regular file"
                                                                : nullptr;
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (wrong || !in) {
        std::cerr << "vokta4-cli: " << path << ": " << (wrong ? wrong : std::strerror(errno)) << "\n";
        return false;
    }
    ConvertSRecords(in, image);
    return true;
}

void ExplainRefusal(const std::string& path, const FirmwareImage& image)
{
    for (const ConversionError& e : image.errors)
        std::cerr << "vokta4-cli: " << path << " line " << e.line << ": " << e.what << "\n";
    if (image.errors.empty())
        std::cerr << "vokta4-cli: " << image.Refusal(path) << "\n";
}
