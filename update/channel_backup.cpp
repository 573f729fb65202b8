// The channel-data backup: the radio's 16 KiB, as the update writes them
// back, kept in a file of their own before anything is erased.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>

#include "update/update_steps.h"
#include "platform/calendar.h"
#include "platform/paths.h"
#include "update/channel_backup.h"

// A file-name-safe form of a port name: "/dev/ttyUSB0" gives "ttyUSB0".
std::string ChannelBackupTag(const std::string& port)
{
    const std::string base = port.substr(DirectoryOf(port).size());
    std::string tag;
    for (char c : base)
        tag += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return tag.empty() ? "port" : tag;
}

bool SameFileTag(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool SaveBackupFile(UpdateContext& u, const std::vector<std::uint8_t>& data, std::string& path)
{
    const std::string dir = DirectoryOf(u.m_dataFilePath);
    const std::time_t now = std::time(nullptr);
    const std::tm local = LocalCalendar(now);  // several radios may save at once
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string tag = u.m_request.fileTag.empty() ? ChannelBackupTag(u.m_request.port) : u.m_request.fileTag;
    const std::string stem = dir + "vokt-" + tag + "-" + stamp;
    // A backup is never overwritten: a second one within the same second
    // gets a number of its own.
    path = stem + ".chd";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(std::filesystem::u8path(path), ec); ++n)
        path = stem + "-" + std::to_string(n) + ".chd";
    std::string error;
    if (!WriteNewFile(path, data.data(), data.size(), error)) {
        u.SetDetail("cannot save the channel-data backup: " + error);
        return false;
    }
    return true;
}

bool SaveChannelBackup(UpdateContext& u)
{
    std::string path;
    if (!SaveBackupFile(u, u.m_channelData, path))
        return false;
    u.m_result.backupPath = path;
    return true;
}
