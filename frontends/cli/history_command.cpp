// `vokta4-cli history`: the service record, vokta4-history.jsonl, as a
// table or as its JSON lines. A damaged line (a power cut during an append)
// is skipped and counted.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "platform/native_host.h"
#include "platform/paths.h"
#include "update/output_guard.h"
#include "update/update_journal.h"

namespace {

std::string Text(const nlohmann::json& j, const char* key)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string FileName(const std::string& path)
{
    return path.substr(DirectoryOf(path).size());
}

// A record whose fields have other types than an update writes is damaged.
bool WellTyped(const nlohmann::json& r)
{
    for (const char* key : {"start", "port", "mode", "result", "state", "backup"}) {
        const auto it = r.find(key);
        if (it != r.end() && !it->is_string())
            return false;
    }
    const auto firmware = r.find("firmware");
    const auto duration = r.find("duration_s");
    return (firmware == r.end() || firmware->is_object()) && (duration == r.end() || duration->is_number());
}

// A date YYYY-MM-DD that the calendar has.
bool CalendarDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    const int year = std::stoi(text.substr(0, 4)), month = std::stoi(text.substr(5, 2)),
              day = std::stoi(text.substr(8, 2));
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1];
}

// The record keeps the port as it was typed: "ttyUSB0", "/dev/ttyUSB0"
// and "../dev/ttyUSB0" (from /tmp) name one port.
bool SamePort(const std::string& recorded, const std::string& asked)
{
    return recorded == asked || PortFullName(recorded) == PortFullName(asked);
}

// The journals the history reads: the record's folder's and the user's own.
std::vector<std::string> Journals(const std::string& folder)
{
    return JournalFolders(folder, NativeHost().UserStateFolder());
}

// Only a technician's "yes" closes an entry: its radio may still need the
// backup written back.
bool ConfirmDiscard(const JournalEntry& e, bool yes)
{
    if (yes)
        return true;
    std::cerr << "close the unfinished update of " << e.BackupPath() << " (port " << e.port << ", started "
              << e.start << ")?\nIts radio may still need these channel data; close it only if that radio was "
                 "restored otherwise. Type yes to close it: ";
    std::string answer;
    if (!std::getline(std::cin, answer) || (answer != "yes" && answer != "y")) {
        std::cerr << "\nvokta4-cli: nothing was closed\n";
        return false;
    }
    return true;
}

// Closes the journal entry of a backup on purpose: the technician knows its
// radio was restored otherwise.
int DiscardEntry(const std::vector<std::string>& folders, const std::string& backup, bool yes)
{
    const std::string name = FileName(backup);
    for (const JournalEntry& e : UnfinishedUpdates(folders)) {
        if (e.backup != name || (!DirectoryOf(backup).empty() && !SameFile(e.BackupPath(), backup)))
            continue;
        if (!ConfirmDiscard(e, yes))
            return kExitIntact;
        std::vector<std::string> journals = folders;
        journals.push_back(e.folder);
        std::string error;
        if (!CloseJournalEntry(journals, e.BackupPath(), "discarded", error)) {
            std::cerr << "vokta4-cli: " << error << "\n";
            return kExitIntact;
        }
        std::cout << "closed the unfinished update of " << e.BackupPath() << "; the backup itself is kept\n";
        return kExitDone;
    }
    std::cerr << "vokta4-cli: no unfinished update saved " << backup << " (journals: " << JournalPath(folders.front())
              << (folders.size() > 1 ? " and " + JournalPath(folders.back()) : std::string()) << ")\n";
    return kExitIntact;
}

// The unfinished updates of the journals.
void PrintUnfinished(const std::vector<std::string>& folders)
{
    const std::vector<JournalEntry> open = UnfinishedUpdates(folders);
    if (open.empty())
        return;
    std::printf("\nUNFINISHED (a radio may need its channel data written back; the next WRITE of a radio whose "
                "channel area is erased or cut short offers them):\n");
    for (const JournalEntry& e : open)
        std::printf("%-20s %-18s %s\n", e.start.c_str(), e.port.c_str(), e.BackupPath().c_str());
}

}  // namespace

int RunHistory(const HistoryArgs& args)
{
    if (!args.since.empty() && !CalendarDate(args.since)) {
        std::cerr << "vokta4-cli: --since takes a date as YYYY-MM-DD (for example 2026-03-01); " << args.since
                  << " is not one\n";
        return kExitUsage;
    }
    const std::string file =
        args.file.empty() ? NativeHost().DataFolder() + "vokta4-history.jsonl" : args.file;
    const std::string folder = DirectoryOf(file);
    // A backup named with its folder is closed in that folder's journal.
    std::vector<std::string> folders = Journals(folder);
    if (!args.discard.empty()) {
        if (!DirectoryOf(args.discard).empty())
            folders.push_back(DirectoryOf(args.discard));
        return DiscardEntry(folders, args.discard, args.yes);
    }
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::u8path(file), ec)) {
        std::cerr << "vokta4-cli: " << file << " is a folder; --record names the service record itself (its "
                  << "vokta4-history.jsonl)\n";
        return kExitUsage;
    }
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    if (!in) {
        std::cerr << "vokta4-cli: no service record at " << file << "\n";
        if (!args.json)
            PrintUnfinished(folders);
        return kExitIntact;
    }
    std::set<std::string> unfinished;
    for (const JournalEntry& e : UnfinishedUpdates(folders))
        unfinished.insert(e.backup);
    if (!args.json)
        std::printf("%-20s %-18s %-24s %-12s %-7s %-20s %-20s %8s\n", "START (UTC)", "PORT", "FIRMWARE", "SHA-256",
                    "MODE", "RESULT", "RADIO", "SECONDS");
    std::string line;
    long damaged = 0;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty())
            continue;
        const nlohmann::json r = nlohmann::json::parse(line, nullptr, false);
        if (r.is_discarded() || !r.is_object() || !WellTyped(r)) {
            ++damaged;
            continue;
        }
        const std::string start = Text(r, "start");
        if ((!args.port.empty() && !SamePort(Text(r, "port"), args.port)) || (!args.since.empty() && start < args.since))
            continue;
        if (args.json) {
            std::printf("%s\n", line.c_str());
            continue;
        }
        const nlohmann::json firmware = r.value("firmware", nlohmann::json::object());
        const bool open = unfinished.count(FileName(Text(r, "backup"))) > 0;
        std::printf("%-20s %-18s %-24s %-12.12s %-7s %-20.20s %-20s %8.1f\n", start.c_str(), Text(r, "port").c_str(),
                    FileName(Text(firmware, "file")).c_str(), Text(firmware, "sha256").c_str(),
                    Text(r, "mode").c_str(), Text(r, "result").c_str(),
                    open ? "UNFINISHED" : Text(r, "state").c_str(), r.value("duration_s", 0.0));
    }
    if (!args.json)
        PrintUnfinished(folders);
    else if (!unfinished.empty())
        std::cerr << "vokta4-cli: " << unfinished.size() << " unfinished update(s) in " << JournalPath(folders.back())
                  << " (history without --json lists them)\n";
    if (damaged > 0)
        std::cerr << "vokta4-cli: " << damaged << " damaged line(s) of " << file << " skipped\n";
    return kExitDone;
}
