#include "platform/input_file.h"

#include <filesystem>

namespace fs = std::filesystem;

std::string NotARegularFile(const std::string& path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(fs::u8path(path), ec);
    if (ec || !fs::exists(st))
        return "no such file";
    if (fs::is_directory(st))
        return "a folder, not a file";
    if (!fs::is_regular_file(st))
        return "not a regular file (a FIFO or a device)";
    return std::string();
}
