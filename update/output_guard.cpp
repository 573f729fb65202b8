// No output of the tool may overwrite what an update reads or keeps: the
// firmware, the boot program, the channel-data backups, the service record,
// the data file of another output, or a serial port.
#include "update/output_guard.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/host.h"
#include "platform/paths.h"
#include "update/update_journal.h"

namespace fs = std::filesystem;

bool SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    std::error_code ec;
    if (fs::equivalent(fs::u8path(a), fs::u8path(b), ec) && !ec)
        return true;
    std::error_code ea, eb;
    const fs::path ca = fs::weakly_canonical(fs::u8path(a), ea), cb = fs::weakly_canonical(fs::u8path(b), eb);
    return !ea && !eb && ca == cb;
}

std::vector<GuardedFile> KeptFiles(Host& host, const std::string& dataFile)
{
    std::vector<GuardedFile> files;
    for (const std::string& place : host.BootProgramPlaces())
        files.push_back({"the boot program", place});
    files.push_back({"the service record", DirectoryOf(dataFile) + "vokta4-history.jsonl"});
    files.push_back({"the journal of unfinished updates", JournalPath(DirectoryOf(dataFile))});
    files.push_back({"the journal of unfinished updates", JournalPath(host.UserStateFolder())});
    std::vector<std::string> ports;
    if (host.EnumeratePorts(ports)) {
        for (const std::string& port : ports)
            files.push_back({"the serial port", port});
    }
    return files;
}

namespace {

// An existing channel-data backup (*.chd), which only a new update replaces.
bool IsChannelBackup(const std::string& path)
{
    std::string extension = fs::u8path(path).extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::error_code ec;
    return extension == ".chd" && fs::exists(fs::u8path(path), ec);
}

// A journal or a service record by its name, in any folder: an output
// there would destroy one, or be taken for one later.
bool IsKeptRecord(const std::string& path)
{
    const std::string name = fs::u8path(path).filename().u8string();
    return name == "vokta4-journal.jsonl" || name == "vokta4-history.jsonl";
}

}  // namespace

std::string OutputConflict(const std::string& what, const std::string& output, const std::vector<GuardedFile>& files)
{
    if (output.empty())
        return std::string();
    for (const GuardedFile& file : files) {
        if (SameFile(output, file.path))
            return what + " is " + file.what + " (" + file.path + "): writing it would destroy it; choose another file";
    }
    if (IsKeptRecord(output))
        return what + " is named as a journal or service record: writing it would destroy one; choose another file";
    if (IsChannelBackup(output))
        return what + " is a channel-data backup: writing it would destroy it; choose another file";
    return std::string();
}
