#include "update/update_journal.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/data_file.h"
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

// Only a plain file name is a key: an entry can never point outside its
// folder.
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

}  // namespace

std::string JournalPath(const std::string& folder)
{
    return folder + "vokta4-journal.jsonl";
}

bool OpenJournalEntry(const std::string& folder, const JournalEntry& e, std::string& error)
{
    const nlohmann::json j = {
        {"event", "open"},
        {"backup", e.backup},
        {"backup_sha256", e.backupSha256},
        {"port", e.port},
        {"data_file", e.dataFile},
        {"adapter", {{"description", e.adapter.description}, {"vid_pid", e.adapter.vidPid}, {"serial", e.adapter.serial}}},
        {"firmware_sha256", e.firmwareSha256},
        {"start", e.start}};
    return AppendLineLocked(JournalPath(folder), Dump(j), error);
}

bool CloseJournalEntry(const std::string& folder, const std::string& backup, const std::string& how,
                       std::string& error)
{
    const nlohmann::json j = {
        {"event", "close"}, {"backup", backup}, {"how", how}, {"end", IsoUtc(std::time(nullptr))}};
    return AppendLineLocked(JournalPath(folder), Dump(j), error);
}

std::vector<JournalEntry> UnfinishedUpdates(const std::string& folder)
{
    std::ifstream in(fs::u8path(JournalPath(folder)), std::ios::binary);
    std::vector<JournalEntry> open;
    std::set<std::string> closed;
    std::string line;
    while (ReadLine(in, line)) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object() || !PlainFileName(Text(j, "backup")))
            continue;
        if (Text(j, "event") == "close") {
            closed.insert(Text(j, "backup"));
            continue;
        }
        if (Text(j, "event") != "open")
            continue;
        JournalEntry e;
        e.backup = Text(j, "backup");
        e.backupSha256 = Text(j, "backup_sha256");
        e.port = Text(j, "port");
        e.dataFile = Text(j, "data_file");
        const auto adapter = j.find("adapter");
        if (adapter != j.end() && adapter->is_object())
            e.adapter = {Text(*adapter, "description"), Text(*adapter, "vid_pid"), Text(*adapter, "serial")};
        e.firmwareSha256 = Text(j, "firmware_sha256");
        e.start = Text(j, "start");
        open.push_back(std::move(e));
    }
    // A close counts for every earlier open of the same backup.
    open.erase(std::remove_if(open.begin(), open.end(),
                              [&closed](const JournalEntry& e) { return closed.count(e.backup) > 0; }),
               open.end());
    std::reverse(open.begin(), open.end());
    return open;
}

bool ReadJournalBackup(const std::string& folder, const JournalEntry& entry, std::vector<std::uint8_t>& data,
                       std::string& error)
{
    const std::string path = folder + entry.backup;
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) {
        error = path + " is missing";
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    Sha256 sha;
    sha.Add(data.data(), data.size());
    if (data.size() != kChannelSize || sha.HexDigest() != entry.backupSha256) {
        error = path + " is not the backup the update saved (its size or SHA-256 differs)";
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
