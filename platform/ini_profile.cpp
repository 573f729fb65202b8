#include "platform/ini_profile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string Trim(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    const std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool IsSection(const std::string& line, std::string& name)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    name = Trim(t.substr(1, t.size() - 2));
    return true;
}

bool IsKey(const std::string& line, const std::string& key, std::string& value)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || Trim(line.substr(0, eq)) != key)
        return false;
    value = Trim(line.substr(eq + 1));
    return true;
}

}  // namespace

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& fallback)
{
    std::ifstream in(path);
    std::string line, current, value;
    while (std::getline(in, line)) {
        if (IsSection(line, current))
            continue;
        if (current == section && IsKey(line, key, value))
            return value;
    }
    return fallback;
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value)
{
    std::vector<std::string> lines;
    {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
    }
    std::string current, old;
    bool written = false;
    std::size_t sectionEnd = lines.size();
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
        std::string name;
        if (IsSection(lines[i], name)) {
            if (inSection) {
                sectionEnd = i;
                break;
            }
            inSection = name == section;
            continue;
        }
        if (inSection && IsKey(lines[i], key, old)) {
            lines[i] = key + "=" + value;
            written = true;
        }
    }
    if (!written) {
        if (!inSection) {
            lines.push_back("[" + section + "]");
            sectionEnd = lines.size();
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), key + "=" + value);
    }
    // Write a new file and move it into place, so a crash never leaves half a profile.
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const std::string& l : lines)
            out << l << "\n";
        if (!out.flush())
            return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    // Where a rename does not replace an existing file (Windows), remove it first.
    std::remove(path.c_str());
    return std::rename(temp.c_str(), path.c_str()) == 0;
}
