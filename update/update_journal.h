#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/host.h"

// The journal of unfinished updates: vokta4-journal.jsonl. Every update
// writes its entry into two journals: the one beside its data file and
// backups, and the user's own in the per-user state folder, so that a later
// WRITE from another data folder, front end or port still finds it. An entry
// is opened, written through to the disk, before the first clear command
// goes out, and closed only on proof: its own radio's update ended "Done.",
// or its backup went back into a radio whose channel area was erased or cut
// short from it. Appends go through the service record's locked append, so
// several radios and processes may share a journal.

struct JournalEntry {
    std::string folder;  // where the backup lies (ends with a separator)
    std::string backup;  // the backup's file name
    std::string backupSha256;
    std::string port;
    PortDetails adapter;
    std::string position;  // the station's bench position, if any
    std::string firmwareSha256;
    std::string start;  // UTC, ISO 8601
    std::string BackupPath() const { return folder + backup; }
};

// The journal file of a folder (ends with a separator, or empty).
std::string JournalPath(const std::string& folder);
// The journals an update of `dataFolder` keeps and consults: that folder's
// and the per-user one (once when they are the same folder).
std::vector<std::string> JournalFolders(const std::string& dataFolder, const std::string& userFolder);

// Appends an open entry to every journal of `folders`; false (and why) when
// one could not be written.
bool OpenJournalEntry(const std::vector<std::string>& folders, const JournalEntry& entry, std::string& error);
// Appends the close of the entry of the backup at `backupPath` to every
// journal of `folders`; `how` is "done", "unchanged", "restored" or
// "discarded".
bool CloseJournalEntry(const std::vector<std::string>& folders, const std::string& backupPath,
                       const std::string& how, std::string& error);
// Channel data an update replaced, saved at `entry`'s backup: named in the
// journals so that a technician finds them; never an open entry.
bool RecordReplacedChannelData(const std::vector<std::string>& folders, const JournalEntry& entry,
                               const std::string& replacedBy, std::string& error);
// The open entries of all `folders`, each once, newest first. A close in
// any journal closes the entry everywhere. Damaged lines are skipped.
std::vector<JournalEntry> UnfinishedUpdates(const std::vector<std::string>& folders);
// The SHA-256s the journals of `folders` recorded for the backup at
// `backupPath`; where none names that path (a copy, another spelling),
// those recorded for backups of the same file name. Empty: none known.
std::vector<std::string> RecordedBackupSha256(const std::vector<std::string>& folders, const std::string& backupPath);

// The 16 KiB of an entry's backup, when the file is there and its SHA-256
// is the one recorded; false (and why) otherwise.
bool ReadJournalBackup(const JournalEntry& entry, std::vector<std::uint8_t>& data, std::string& error);

// The same channel programming: equal but for the mode marker, which each
// update writes anew.
bool SameChannelData(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
