#pragma once
#include <string>

#include "image/firmware_image.h"

// Reads a firmware file as the update reads it; false (and the reason on
// stderr) when it cannot be opened.
bool LoadFirmwareFile(const std::string& path, FirmwareImage& image);
// Says on stderr why the update would refuse a file it has read.
void ExplainRefusal(const std::string& path, const FirmwareImage& image);
