#include "frontends/cli/firmware_file.h"

#include <iostream>

#include "platform/input_file.h"

bool LoadFirmwareFile(const std::string& path, FirmwareImage& image)
{
    InputFile file;
    std::string error;
    if (!file.Open(path, error)) {
        std::cerr << "vokta4-cli: " << error << "\n";
        return false;
    }
    ConvertSRecords(file.Stream(), image);
    return true;
}

void ExplainRefusal(const std::string& path, const FirmwareImage& image)
{
    for (const ConversionError& e : image.errors)
        std::cerr << "vokta4-cli: " << path << " line " << e.line << ": " << e.what << "\n";
    if (image.errors.empty())
        std::cerr << "vokta4-cli: " << image.Refusal(path) << "\n";
}
