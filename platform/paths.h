#pragma once
#include <string>

// The folder part of a path, ending with its separator ('/' or '\\');
// empty when the path names no folder.
inline std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
