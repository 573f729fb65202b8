#pragma once
#include <string>

// A small INI file store: "[section]" headers and "key=value" lines.
// Other lines and keys are kept as they are when a value is written.
std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& fallback);
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);
