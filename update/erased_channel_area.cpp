// A radio whose channel area reads as erased while a backup of this port's
// channel data exists: an earlier update failed after the ROM clear. Its
// programming must never be replaced by the blank area without a word.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "update/update_steps.h"
#include "update/channel_backup.h"
#include "platform/paths.h"
#include "update/memory_map.h"

namespace fs = std::filesystem;

namespace {

// "vokt-TAG-" + "YYYYMMDD-HHMMSS" + optional "-N" + ".chd": the stamp and N.
bool ParseBackupName(const std::string& name, const std::string& prefix, std::string& stamp, int& number)
{
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < prefix.size() + 19 ||
        name.compare(name.size() - 4, 4, ".chd") != 0)
        return false;
    stamp = name.substr(prefix.size(), 15);
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        if (i == 8 ? stamp[i] != '-' : !std::isdigit(static_cast<unsigned char>(stamp[i])))
            return false;
    }
    const std::string rest = name.substr(prefix.size() + 15, name.size() - prefix.size() - 19);
    number = 1;
    if (rest.empty())
        return true;
    if (rest.size() < 2 || rest[0] != '-' || !std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    number = std::stoi(rest.substr(1, 6));
    return true;
}

std::vector<std::uint8_t> ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

bool ChannelDataErased(const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != 0xFF && i != kMarkerAddress - kChannelStart)
            return false;
    }
    return true;
}

bool FindChannelBackup(const std::string& folder, const std::string& port, ChannelBackup& backup)
{
    const std::string prefix = "vokt-" + ChannelBackupTag(port) + "-";
    std::vector<std::pair<std::pair<std::string, int>, fs::path>> found;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(fs::u8path(folder.empty() ? "." : folder), ec)) {
        std::string stamp;
        int number = 0;
        if (ParseBackupName(e.path().filename().u8string(), prefix, stamp, number) && e.is_regular_file(ec) &&
            e.file_size(ec) == kChannelSize)
            found.push_back({{stamp, number}, e.path()});
    }
    std::sort(found.rbegin(), found.rend());  // newest first
    for (const auto& [key, path] : found) {
        std::vector<std::uint8_t> data = ReadWhole(path);
        if (data.size() != kChannelSize || ChannelDataErased(data))
            continue;
        const std::string& s = key.first;
        backup.path = path.u8string();
        backup.savedAt = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) + ":" +
                         s.substr(11, 2) + ":" + s.substr(13, 2);
        backup.data = std::move(data);
        return true;
    }
    return false;
}

bool ResolveErasedChannelArea(UpdateContext& u)
{
    ChannelBackup backup;
    if (!u.m_request.channelData.empty() || !ChannelDataErased(u.m_channelData) ||
        !FindChannelBackup(DirectoryOf(u.m_dataFilePath), u.m_strPort, backup))
        return true;  // the radio's own data, or a new radio that was never programmed
    u.m_result.offeredBackup = backup.path;
    u.m_result.offeredBackups = {backup.path};
    const std::string found = "the radio's channel area reads as erased (an earlier update failed after the "
                              "ROM clear?), and its channel data were saved in " +
                              backup.path + " (" + backup.savedAt + ")";
    if (u.m_request.erasedChannelArea == ErasedChannelArea::WriteBlank) {
        u.Note(found + "; the erased area is written as it is, as asked");
        return true;
    }
    if (u.m_request.erasedChannelArea == ErasedChannelArea::Refuse) {
        u.SetDetail(found + ". Nothing was changed: update the radio with that channel data, or ask for the "
                          "erased area to be written as it is");
        return false;
    }
    if (u.Ask("The radio's channel data read as erased: an earlier update may have failed.\n\n"
                           "Write back the channel data saved in\n" +
                               backup.path + "\n(" + backup.savedAt + ")?")) {
        return WriteBackBackup(u, backup.data, backup.path);
    }
    if (u.Ask("Write the firmware with the channel data erased?\n"
                           "The radio's channel programming will be lost.")) {
        u.Note("the erased channel area is written as it is, as asked");
        return true;
    }
    u.SetDetail("stopped before the ROM clear: the radio is unchanged; " + found);
    return false;
}
