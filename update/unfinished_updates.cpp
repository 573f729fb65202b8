// The journals of unfinished updates as the procedure keeps them: an entry
// opened before the first clear command with its backup held while the
// update runs, a copy of the channel data a write-back replaces, and
// entries closed only on proof.
#include <algorithm>

#include "platform/paths.h"
#include "update/iso_time.h"
#include "update/output_guard.h"
#include "update/sha256.h"
#include "update/update_journal.h"
#include "update/update_steps.h"

namespace {

JournalEntry EntryFor(UpdateContext& u, const std::string& backupPath, const std::vector<std::uint8_t>& data)
{
    JournalEntry e;
    e.folder = DirectoryOf(backupPath);
    e.backup = backupPath.substr(e.folder.size());
    e.backupSha256 = Sha256Of(data.data(), data.size());
    e.port = u.m_request.port;
    e.position = u.m_request.position;
    e.adapter = u.m_adapter;
    e.firmwareSha256 = u.m_firmwareSha256;  // of the bytes converted, before the erase
    e.start = IsoUtc(u.m_startedUtc);
    return e;
}

}  // namespace

bool SaveReplacedChannelArea(UpdateContext& u)
{
    if (u.m_writtenBackFrom.empty() || SameChannelData(u.m_radioChannelData, u.m_channelData))
        return true;
    std::string path, error;
    if (!SaveBackupFile(u, u.m_radioChannelData, path))
        return false;
    if (!RecordReplacedChannelData(u.m_journalFolders, EntryFor(u, path, u.m_radioChannelData), u.m_writtenBackFrom,
                                   error)) {
        u.SetDetail("cannot name the saved channel data in the journal: " + error);
        return false;
    }
    u.Note("the channel data this radio held are saved in " + path + " before " + u.m_writtenBackFrom +
           " replaces them");
    return true;
}

bool RecordUnfinishedUpdate(UpdateContext& u)
{
    const std::string& path = u.m_result.backupPath;
    std::string error;
    // Held before the entry exists, so that nobody takes it for one left
    // behind; its own once any journal may hold it, so that the end closes
    // it even when the other journal could not be written.
    if (!u.m_backupHold.Take(path, error)) {
        u.SetDetail("cannot record the update in the journal of unfinished updates: " + error);
        return false;
    }
    u.m_journalEntry = path;
    if (!OpenJournalEntry(u.m_journalFolders, EntryFor(u, path, u.m_channelData), error)) {
        u.SetDetail("cannot record the update in the journal of unfinished updates: " + error);
        return false;
    }
    return true;
}

// Entries close only on proof: this update's own (after "Done.", or when the
// erase never began and the radio is as it was); the entry whose backup
// went back into a radio whose area was erased or cut short from it; an
// entry whose backup the radio held unchanged behind the same adapter.
// Never because a radio is "another one", nor by equal data alone: radios of
// one customer are often programmed alike.
void CloseJournalEntries(UpdateContext& u, bool done)
{
    std::vector<std::string> folders = u.m_journalFolders;
    if (!u.m_writtenBackFrom.empty())
        folders.push_back(DirectoryOf(u.m_writtenBackFrom));
    // Its own entry by the path it was opened with: a folder name that is
    // not UTF-8 reads back otherwise, and is written the same way again.
    std::string error;
    if (!u.m_journalEntry.empty() && (done || !u.EraseStarted()) &&
        !CloseJournalEntry(u.m_journalFolders, u.m_journalEntry, done ? "done" : "unchanged", error))
        u.Note("cannot close the journal entry of " + u.m_journalEntry + ": " + error);
    for (const JournalEntry& e : UnfinishedUpdates(folders)) {
        const bool own = SameFile(e.BackupPath(), u.m_journalEntry);
        if (own)
            continue;
        const bool restored = done && u.m_writtenBackProven && SameFile(u.m_writtenBackFrom, e.BackupPath());
        const bool same = done && std::any_of(u.m_sameRadioEntries.begin(), u.m_sameRadioEntries.end(),
                                              [&e](const std::string& p) { return SameFile(p, e.BackupPath()); });
        if (!restored && !same)
            continue;
        std::vector<std::string> journals = u.m_journalFolders;
        journals.push_back(e.folder);
        if (!CloseJournalEntry(journals, e.BackupPath(), "restored", error))
            u.Note("cannot close the journal entry of " + e.BackupPath() + ": " + error);
        else
            u.Note("the channel data saved in " + e.BackupPath() + " are in this radio; its unfinished update is closed");
    }
}
