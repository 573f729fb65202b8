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
#include "platform/native_host.h"
#include "platform/paths.h"
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

// Closes the journal entry of a backup on purpose: the technician knows the
// radio is not the one of that update, or has restored it otherwise.
int DiscardEntry(const std::string& folder, const std::string& backup)
{
    const std::string name = FileName(backup);
    for (const JournalEntry& e : UnfinishedUpdates(folder)) {
        if (e.backup != name)
            continue;
        std::string error;
        if (!CloseJournalEntry(folder, name, "discarded", error)) {
            std::cerr << "vokta4-cli: " << error << "\n";
            return kExitIntact;
        }
        std::cout << "closed the unfinished update of " << folder << name << "; the backup itself is kept\n";
        return kExitDone;
    }
    std::cerr << "vokta4-cli: no unfinished update in " << JournalPath(folder) << " saved " << name << "\n";
    return kExitIntact;
}

// The unfinished updates of the journal beside the record.
void PrintUnfinished(const std::string& folder)
{
    const std::vector<JournalEntry> open = UnfinishedUpdates(folder);
    if (open.empty())
        return;
    std::printf("\nUNFINISHED (a radio may need its channel data written back; "
                "close one with history --discard BACKUP):\n");
    for (const JournalEntry& e : open)
        std::printf("%-20s %-18s %s%s\n", e.start.c_str(), e.port.c_str(), folder.c_str(), e.backup.c_str());
}

}  // namespace

int RunHistory(const HistoryArgs& args)
{
    const std::string file =
        args.file.empty() ? NativeHost().DataFolder() + "vokta4-history.jsonl" : args.file;
    const std::string folder = DirectoryOf(file);
    // A backup named with its folder is closed in that folder's journal.
    if (!args.discard.empty())
        return DiscardEntry(DirectoryOf(args.discard).empty() ? folder : DirectoryOf(args.discard), args.discard);
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    if (!in) {
        std::cerr << "vokta4-cli: no service record at " << file << "\n";
        if (!args.json)
            PrintUnfinished(folder);
        return kExitIntact;
    }
    std::set<std::string> unfinished;
    for (const JournalEntry& e : UnfinishedUpdates(folder))
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
        if ((!args.port.empty() && Text(r, "port") != args.port) || (!args.since.empty() && start < args.since))
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
        PrintUnfinished(folder);
    else if (!unfinished.empty())
        std::cerr << "vokta4-cli: " << unfinished.size() << " unfinished update(s) in " << JournalPath(folder)
                  << " (history without --json lists them)\n";
    if (damaged > 0)
        std::cerr << "vokta4-cli: " << damaged << " damaged line(s) of " << file << " skipped\n";
    return kExitDone;
}
