// The journal of unfinished updates as the procedure uses it: an entry
// opened before the first clear command, a later WRITE that finds one and
// will not write channel data without the technician's word, and entries
// closed by an update that ends "Done." with their channel data.
#include "dialog/updater_dialog.h"
#include "platform/paths.h"
#include "update/iso_time.h"
#include "update/memory_map.h"
#include "update/output_guard.h"
#include "update/sha256.h"
#include "update/update_journal.h"

namespace {

std::string Describe(const std::string& folder, const JournalEntry& e)
{
    return folder + e.backup + " (port " + e.port + ", started " + e.start + ")";
}

bool SameAdapter(const PortDetails& a, const PortDetails& b)
{
    return !a.serial.empty() && a.serial == b.serial && a.vidPid == b.vidPid;
}

}  // namespace

std::string UpdaterDialog::JournalFolder() const
{
    return DirectoryOf(m_strDataFilePath);
}

bool UpdaterDialog::RecordUnfinishedUpdate()
{
    JournalEntry e;
    e.backup = m_strBackupPath.substr(DirectoryOf(m_strBackupPath).size());
    Sha256 sha;
    sha.Add(m_channelData.data(), m_channelData.size());
    e.backupSha256 = sha.HexDigest();
    e.port = m_strPort;
    e.dataFile = m_strDataFilePath;
    e.adapter = m_host.DescribePort(m_strPort);
    e.firmwareSha256 = m_firmwareSha256;  // of the bytes converted, before the erase
    e.start = IsoUtc(m_startedUtc);
    std::string error;
    if (!OpenJournalEntry(JournalFolder(), e, error)) {
        SetDetail("cannot record the update in the journal of unfinished updates: " + error);
        return false;
    }
    m_journalEntry = e.backup;
    return true;
}

std::vector<JournalEntry> UpdaterDialog::EndedUnfinishedUpdates() const
{
    std::vector<JournalEntry> ended;
    for (JournalEntry& e : UnfinishedUpdates(JournalFolder())) {
        // An update that still holds its data file is running (another
        // radio, another process): its entry is not one left behind. This
        // update's own data file is held by this update.
        const bool running =
            !e.dataFile.empty() && !SameFile(e.dataFile, m_strDataFilePath) && DataFileInUse(e.dataFile);
        if (!running)
            ended.push_back(std::move(e));
    }
    return ended;
}

bool UpdaterDialog::RadioHoldsBackupOf(const JournalEntry& e) const
{
    std::vector<std::uint8_t> data;
    std::string error;
    return ReadJournalBackup(JournalFolder(), e, data, error) && SameChannelData(data, m_channelData);
}

bool UpdaterDialog::ResolveUnfinishedUpdates()
{
    const std::string folder = JournalFolder();
    const std::vector<JournalEntry> open = EndedUnfinishedUpdates();
    if (open.empty())
        return ResolveErasedChannelArea();  // the older check stays as a second line of defence
    if (!m_options.channelData.empty())
        return true;  // the technician named the channel data to write
    for (const JournalEntry& e : open) {
        if (RadioHoldsBackupOf(e))
            return true;  // the radio still holds that update's channel data
    }
    if (m_options.erasedChannelArea == ErasedChannelArea::WriteBlank) {
        Note("an update in " + folder + " did not finish; the radio's channel area is written as read, as asked");
        return true;
    }
    // The entries of this adapter first; with none known, every entry.
    const PortDetails adapter = m_host.DescribePort(m_strPort);
    std::vector<JournalEntry> candidates;
    for (const JournalEntry& e : open) {
        if (SameAdapter(e.adapter, adapter))
            candidates.push_back(e);
    }
    if (candidates.empty())
        candidates = open;
    for (const JournalEntry& e : candidates)
        m_offeredBackups.push_back(folder + e.backup);
    m_strOfferedBackup = m_offeredBackups.front();
    return m_options.erasedChannelArea == ErasedChannelArea::Ask ? OfferUnfinishedBackups(candidates)
                                                                 : RefuseForUnfinishedUpdates(candidates);
}

bool UpdaterDialog::RefuseForUnfinishedUpdates(const std::vector<JournalEntry>& candidates)
{
    const std::string folder = JournalFolder();
    std::string text = candidates.size() == 1 ? "an update that did not finish saved the channel data of a radio in "
                                              : "updates that did not finish saved channel data in ";
    std::string discard;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        text += (i > 0 ? "; " : "") + Describe(folder, candidates[i]);
        discard += (i > 0 ? "; " : "") + ("vokta4-cli history --discard " + folder + candidates[i].backup);
    }
    SetDetail(text + ", and this radio's channel area differs. Nothing was changed. If this is the radio of that "
                     "update, write its saved channel data back (--channel-data); if it is another radio, close "
                     "the entry first: " +
              discard);
    return false;
}

bool UpdaterDialog::OfferUnfinishedBackups(const std::vector<JournalEntry>& candidates)
{
    const std::string folder = JournalFolder();
    for (const JournalEntry& e : candidates) {
        std::vector<std::uint8_t> data;
        std::string error;
        if (!ReadJournalBackup(folder, e, data, error)) {
            Note("cannot offer the channel data of an unfinished update: " + error);
            continue;
        }
        if (!m_view.ShowMessage("An earlier update did not finish: a radio's channel data may be lost.\n\n"
                                "Write back the channel data saved in\n" +
                                    folder + e.backup + "\n(port " + e.port + ", " + e.start + ")?",
                                true))
            continue;
        return WriteBackBackup(data, folder + e.backup);
    }
    return DiscardForAnotherRadio(candidates);
}

// The window has no command line to close an entry with: once every backup
// was declined, the technician may say that this is another radio.
bool UpdaterDialog::DiscardForAnotherRadio(const std::vector<JournalEntry>& candidates)
{
    if (!m_view.ShowMessage("Is this radio another one than that of the unfinished update?\n\n"
                            "OK writes this radio's own channel data and closes the unfinished update "
                            "(its backup is kept).\nCancel stops with the radio unchanged.",
                            true)) {
        RefuseForUnfinishedUpdates(candidates);
        return false;
    }
    const std::string folder = JournalFolder();
    for (const JournalEntry& e : candidates) {
        std::string error;
        if (!CloseJournalEntry(folder, e.backup, "discarded", error)) {
            SetDetail("cannot close the unfinished update of " + e.backup + ": " + error);
            return false;
        }
        Note("the unfinished update of " + folder + e.backup + " is closed as another radio's; the backup is kept");
    }
    m_strOfferedBackup.clear();
    m_offeredBackups.clear();
    return ResolveErasedChannelArea();  // the older check still guards an erased area
}

// Entries are closed only on evidence that names them: this update's own
// (after "Done.", or when the erase never began and the radio is as it
// was), and the entry whose backup this update wrote back, named on the
// command line or accepted in the window. Never by equal channel data:
// radios programmed alike cannot be told apart by it.
void UpdaterDialog::CloseJournalEntries(bool done)
{
    const std::string folder = JournalFolder();
    for (const JournalEntry& e : UnfinishedUpdates(folder)) {
        const bool own = e.backup == m_journalEntry;
        const bool restored = done && !m_strWrittenBackFrom.empty() && SameFile(m_strWrittenBackFrom, folder + e.backup);
        if (!(own && (done || !EraseStarted())) && !restored)
            continue;
        std::string error;
        if (!CloseJournalEntry(folder, e.backup, done ? "done" : "unchanged", error))
            Note("cannot close the journal entry of " + e.backup + ": " + error);
        else if (!own)
            Note("the channel data saved in " + folder + e.backup + " are back in the radio; its unfinished update is closed");
    }
}
