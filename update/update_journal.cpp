#include "update/update_journal.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/data_file.h"
#include "update/adapter_json.h"
#include "platform/paths.h"
#include "update/iso_time.h"
#include "update/memory_map.h"
#include "update/sha256.h"

namespace fs = std::filesystem;

namespace {

// A port or adapter name need not be UTF-8: it is stored with the bytes that
// are not replaced, never thrown at.
std::string Dump(const nlohmann::json& j)
{
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Text(const nlohmann::json& j, const char* key)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A backup is named by a plain file name (its folder is a field of its own).
bool PlainFileName(const std::string& name)
{
    return !name.empty() && name.find_first_of("/\\:") == std::string::npos && name != "." && name != "..";
}

// One line of at most kMaxLine characters; a longer one is read past and
// comes back empty, so that a damaged journal never takes unbounded memory.
bool ReadLine(std::istream& in, std::string& line)
{
    constexpr std::size_t kMaxLine = 8192;
    line.clear();
    bool any = false, overlong = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n')
            break;
        if (line.size() < kMaxLine)
            line += static_cast<char>(c);
        else
            overlong = true;
    }
    if (overlong)
        line.clear();
    return any;
}


// One spelling of a backup's path, so that the same file named from two
// journals (or two spellings of one folder) is one entry.
std::string BackupKey(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(fs::u8path(path), ec), ec);
    return ec ? path : p.u8string();
}

// The entry's folder as written: absolute, so that a journal in another
// folder can point at it.
std::string AbsoluteFolder(const std::string& folder)
{
    std::error_code ec;
    const fs::path p = fs::absolute(fs::u8path(folder.empty() ? "." : folder), ec);
    std::string s = ec ? folder : (p.lexically_normal() / "").u8string();
    return s;
}

template <typename Line>
void ForEachLine(const std::vector<std::string>& folders, Line line)
{
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        if (!seen.insert(BackupKey(JournalPath(folder))).second)
            continue;
        std::ifstream in(fs::u8path(JournalPath(folder)), std::ios::binary);
        std::string text;
        while (ReadLine(in, text)) {
            const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
            if (j.is_discarded() || !j.is_object() || !PlainFileName(Text(j, "backup")))
                continue;
            // Older lines name only the file: it lies beside their journal.
            const std::string where = Text(j, "folder").empty() ? AbsoluteFolder(folder) : Text(j, "folder");
            line(j, where);
        }
    }
}

bool AppendEverywhere(const std::vector<std::string>& folders, const std::string& line, std::string& error)
{
    std::set<std::string> seen;
    bool ok = true;
    for (const std::string& folder : folders) {
        if (!seen.insert(BackupKey(JournalPath(folder))).second)
            continue;
        std::string why;
        if (!AppendLineLocked(JournalPath(folder), line, why)) {
            error += (error.empty() ? "" : "; ") + why;
            ok = false;
        }
    }
    return ok;
}

}  // namespace

std::string JournalPath(const std::string& folder)
{
    return folder + "vokta4-journal.jsonl";
}

std::vector<std::string> JournalFolders(const std::string& dataFolder, const std::string& userFolder)
{
    std::vector<std::string> folders = {dataFolder};
    if (!userFolder.empty() && BackupKey(JournalPath(userFolder)) != BackupKey(JournalPath(dataFolder)))
        folders.push_back(userFolder);
    return folders;
}

bool OpenJournalEntry(const std::vector<std::string>& folders, const JournalEntry& e, std::string& error)
{
    nlohmann::json j = {
        {"event", "open"},
        {"backup", e.backup},
        {"folder", AbsoluteFolder(e.folder)},
        {"backup_sha256", e.backupSha256},
        {"port", e.port},
        {"adapter", AdapterJson(e.adapter)},
        {"firmware_sha256", e.firmwareSha256},
        {"start", e.start}};
    if (!e.position.empty())
        j["position"] = e.position;
    return AppendEverywhere(folders, Dump(j), error);
}

bool CloseJournalEntry(const std::vector<std::string>& folders, const std::string& backupPath, const std::string& how,
                       std::string& error)
{
    const std::string key = BackupKey(backupPath);
    const nlohmann::json j = {{"event", "close"},
                              {"backup", key.substr(DirectoryOf(key).size())},
                              {"folder", DirectoryOf(key)},
                              {"how", how},
                              {"end", IsoUtc(std::time(nullptr))}};
    return AppendEverywhere(folders, Dump(j), error);
}

bool RecordReplacedChannelData(const std::vector<std::string>& folders, const JournalEntry& e,
                               const std::string& replacedBy, std::string& error)
{
    const nlohmann::json j = {{"event", "replaced"},
                              {"backup", e.backup},
                              {"folder", AbsoluteFolder(e.folder)},
                              {"backup_sha256", e.backupSha256},
                              {"port", e.port},
                              {"replaced_by", replacedBy},
                              {"start", e.start}};
    return AppendEverywhere(folders, Dump(j), error);
}

std::vector<JournalEntry> UnfinishedUpdates(const std::vector<std::string>& folders)
{
    std::vector<JournalEntry> open;
    std::set<std::string> closed, listed;
    ForEachLine(folders, [&](const nlohmann::json& j, const std::string& where) {
        const std::string key = BackupKey(where + Text(j, "backup"));
        if (Text(j, "event") == "close") {
            closed.insert(key);
            return;
        }
        if (Text(j, "event") != "open" || !listed.insert(key).second)
            return;
        JournalEntry e;
        e.folder = DirectoryOf(key);
        e.backup = key.substr(e.folder.size());
        e.backupSha256 = Text(j, "backup_sha256");
        e.port = Text(j, "port");
        const auto adapter = j.find("adapter");
        if (adapter != j.end() && adapter->is_object())
            e.adapter = {Text(*adapter, "description"), Text(*adapter, "vid_pid"), Text(*adapter, "serial"),
                         Text(*adapter, "location")};
        e.position = Text(j, "position");
        e.firmwareSha256 = Text(j, "firmware_sha256");
        e.start = Text(j, "start");
        open.push_back(std::move(e));
    });
    // A close counts for every open of the same backup, in any journal.
    open.erase(std::remove_if(open.begin(), open.end(),
                              [&closed](const JournalEntry& e) { return closed.count(e.BackupPath()) > 0; }),
               open.end());
    std::stable_sort(open.begin(), open.end(),
                     [](const JournalEntry& a, const JournalEntry& b) { return a.start > b.start; });
    return open;
}

std::vector<std::string> RecordedBackupSha256(const std::vector<std::string>& folders, const std::string& backupPath)
{
    const std::string key = BackupKey(backupPath);
    const std::string name = key.substr(DirectoryOf(key).size());
    std::vector<std::string> byPath, byName;
    ForEachLine(folders, [&](const nlohmann::json& j, const std::string& where) {
        const std::string sha = Text(j, "backup_sha256");
        if (Text(j, "event") == "close" || sha.empty())
            return;
        if (BackupKey(where + Text(j, "backup")) == key)
            byPath.push_back(sha);
        else if (Text(j, "backup") == name)
            byName.push_back(sha);
    });
    return byPath.empty() ? byName : byPath;
}

bool ReadJournalBackup(const JournalEntry& entry, std::vector<std::uint8_t>& data, std::string& error)
{
    const std::string path = entry.BackupPath();
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) {
        error = path + " is missing";
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (data.size() != kChannelSize || Sha256Of(data.data(), data.size()) != entry.backupSha256) {
        error = path + " is not the backup the update saved (its size or SHA-256 differs from the journal's)";
        return false;
    }
    return true;
}
bool SameChannelData(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != kChannelSize || b.size() != kChannelSize)
        return false;
    const std::size_t marker = kMarkerAddress - kChannelStart;
    return std::equal(a.begin(), a.begin() + marker, b.begin()) &&
           std::equal(a.begin() + marker + 1, a.end(), b.begin() + marker + 1);
}
