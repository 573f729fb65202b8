#include "frontends/cli/firmware_file.h"

#include <fstream>
#include <iostream>

bool LoadFirmwareFile(const std::string& path, FirmwareImage& image)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "vokta4-cli: " << path << ": cannot be opened\n";
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
