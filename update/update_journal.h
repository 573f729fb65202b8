#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/host.h"

// The journal of unfinished updates: vokta4-journal.jsonl beside the data
// file and the channel-data backups. An entry is opened, written through to
// the disk, before the first clear command goes out, and closed only when an
// update of that radio has ended "Done." with the entry's channel data. An
// entry still open means a radio may have lost its channel programming: a
// later WRITE in the same folder, on any port and from any front end, never
// writes channel data without the technician's word while one is open.
// Appends go through the service record's locked append, so several radios
// and several processes may share one journal.

struct JournalEntry {
    std::string backup;  // the backup's file name, beside the journal: its key
    std::string backupSha256;
    std::string port;
    PortDetails adapter;
    std::string dataFile;  // held (locked) by the update while it runs
    std::string firmwareSha256;
    std::string start;  // UTC, ISO 8601
};

// The journal of the data folder `folder` (ends with a separator, or empty).
std::string JournalPath(const std::string& folder);

// Appends an open entry; false (and why) when it could not be written.
bool OpenJournalEntry(const std::string& folder, const JournalEntry& entry, std::string& error);
// Appends the close of the entry of `backup` (a file name); `how` is "done"
// or "discarded".
bool CloseJournalEntry(const std::string& folder, const std::string& backup, const std::string& how,
                       std::string& error);
// The open entries, newest first. Damaged lines (a cut-short append, a line
// too long to be an entry) are skipped.
std::vector<JournalEntry> UnfinishedUpdates(const std::string& folder);

// The 16 KiB of an entry's backup, when the file is there and its SHA-256
// is the one recorded; false (and why) otherwise.
bool ReadJournalBackup(const std::string& folder, const JournalEntry& entry, std::vector<std::uint8_t>& data,
                       std::string& error);

// The same channel programming: equal but for the mode marker, which each
// update writes anew.
bool SameChannelData(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
