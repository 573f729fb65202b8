// The journal of unfinished updates as the procedure uses it: an entry
// opened before the first clear command, a later WRITE that finds one and
// will not write channel data without the technician's word, and entries
// closed by an update that ends "Done." with their channel data.
#include "update/update_steps.h"
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

static bool RefuseForUnfinishedUpdates(UpdateContext& u, const std::vector<JournalEntry>& candidates);
static bool OfferUnfinishedBackups(UpdateContext& u, const std::vector<JournalEntry>& candidates);
static bool DiscardForAnotherRadio(UpdateContext& u, const std::vector<JournalEntry>& candidates);

static std::string JournalFolder(UpdateContext& u)
{
    return DirectoryOf(u.m_dataFilePath);
}

bool RecordUnfinishedUpdate(UpdateContext& u)
{
    JournalEntry e;
    e.backup = u.m_result.backupPath.substr(DirectoryOf(u.m_result.backupPath).size());
    Sha256 sha;
    sha.Add(u.m_channelData.data(), u.m_channelData.size());
    e.backupSha256 = sha.HexDigest();
    e.port = u.m_strPort;
    e.dataFile = u.m_dataFilePath;
    e.adapter = u.m_host.DescribePort(u.m_strPort);
    e.firmwareSha256 = u.m_firmwareSha256;  // of the bytes converted, before the erase
    e.start = IsoUtc(u.m_startedUtc);
    std::string error;
    if (!OpenJournalEntry(JournalFolder(u), e, error)) {
        u.SetDetail("cannot record the update in the journal of unfinished updates: " + error);
        return false;
    }
    u.m_journalEntry = e.backup;
    return true;
}

static std::vector<JournalEntry> EndedUnfinishedUpdates(UpdateContext& u)
{
    std::vector<JournalEntry> ended;
    for (JournalEntry& e : UnfinishedUpdates(JournalFolder(u))) {
        // An update that still holds its data file is running (another
        // radio, another process): its entry is not one left behind. This
        // update's own data file is held by this update.
        const bool running =
            !e.dataFile.empty() && !SameFile(e.dataFile, u.m_dataFilePath) && DataFileInUse(e.dataFile);
        if (!running)
            ended.push_back(std::move(e));
    }
    return ended;
}

static bool RadioHoldsBackupOf(UpdateContext& u, const JournalEntry& e)
{
    std::vector<std::uint8_t> data;
    std::string error;
    return ReadJournalBackup(JournalFolder(u), e, data, error) && SameChannelData(data, u.m_channelData);
}

bool ResolveUnfinishedUpdates(UpdateContext& u)
{
    const std::string folder = JournalFolder(u);
    const std::vector<JournalEntry> open = EndedUnfinishedUpdates(u);
    if (open.empty())
        return ResolveErasedChannelArea(u);  // the older check stays as a second line of defence
    if (!u.m_request.channelData.empty())
        return true;  // the technician named the channel data to write
    for (const JournalEntry& e : open) {
        if (RadioHoldsBackupOf(u, e))
            return true;  // the radio still holds that update's channel data
    }
    if (u.m_request.erasedChannelArea == ErasedChannelArea::WriteBlank) {
        u.Note("an update in " + folder + " did not finish; the radio's channel area is written as read, as asked");
        return true;
    }
    // The entries of this adapter first; with none known, every entry.
    const PortDetails adapter = u.m_host.DescribePort(u.m_strPort);
    std::vector<JournalEntry> candidates;
    for (const JournalEntry& e : open) {
        if (SameAdapter(e.adapter, adapter))
            candidates.push_back(e);
    }
    if (candidates.empty())
        candidates = open;
    for (const JournalEntry& e : candidates)
        u.m_result.offeredBackups.push_back(folder + e.backup);
    u.m_result.offeredBackup = u.m_result.offeredBackups.front();
    return u.m_request.erasedChannelArea == ErasedChannelArea::Ask ? OfferUnfinishedBackups(u, candidates)
                                                                 : RefuseForUnfinishedUpdates(u, candidates);
}

static bool RefuseForUnfinishedUpdates(UpdateContext& u, const std::vector<JournalEntry>& candidates)
{
    const std::string folder = JournalFolder(u);
    std::string text = candidates.size() == 1 ? "an update that did not finish saved the channel data of a radio in "
                                              : "updates that did not finish saved channel data in ";
    std::string discard;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        text += (i > 0 ? "; " : "") + Describe(folder, candidates[i]);
        discard += (i > 0 ? "; " : "") + ("vokta4-cli history --discard " + folder + candidates[i].backup);
    }
    u.SetDetail(text + ", and this radio's channel area differs. Nothing was changed. If this is the radio of that "
                     "update, write its saved channel data back (--channel-data); if it is another radio, close "
                     "the entry first: " +
              discard);
    return false;
}

static bool OfferUnfinishedBackups(UpdateContext& u, const std::vector<JournalEntry>& candidates)
{
    const std::string folder = JournalFolder(u);
    for (const JournalEntry& e : candidates) {
        std::vector<std::uint8_t> data;
        std::string error;
        if (!ReadJournalBackup(folder, e, data, error)) {
            u.Note("cannot offer the channel data of an unfinished update: " + error);
            continue;
        }
        if (!u.Ask("An earlier update did not finish: a radio's channel data may be lost.\n\n"
                                "Write back the channel data saved in\n" +
                                    folder + e.backup + "\n(port " + e.port + ", " + e.start + ")?"))
            continue;
        return WriteBackBackup(u, data, folder + e.backup);
    }
    return DiscardForAnotherRadio(u, candidates);
}

// The window has no command line to close an entry with: once every backup
// was declined, the technician may say that this is another radio.
static bool DiscardForAnotherRadio(UpdateContext& u, const std::vector<JournalEntry>& candidates)
{
    if (!u.Ask("Is this radio another one than that of the unfinished update?\n\n"
                            "OK writes this radio's own channel data and closes the unfinished update "
                            "(its backup is kept).\nCancel stops with the radio unchanged.")) {
        RefuseForUnfinishedUpdates(u, candidates);
        return false;
    }
    const std::string folder = JournalFolder(u);
    for (const JournalEntry& e : candidates) {
        std::string error;
        if (!CloseJournalEntry(folder, e.backup, "discarded", error)) {
            u.SetDetail("cannot close the unfinished update of " + e.backup + ": " + error);
            return false;
        }
        u.Note("the unfinished update of " + folder + e.backup + " is closed as another radio's; the backup is kept");
    }
    u.m_result.offeredBackup.clear();
    u.m_result.offeredBackups.clear();
    return ResolveErasedChannelArea(u);  // the older check still guards an erased area
}

// Entries are closed only on evidence that names them: this update's own
// (after "Done.", or when the erase never began and the radio is as it
// was), and the entry whose backup this update wrote back, named on the
// command line or accepted in the window. Never by equal channel data:
// radios programmed alike cannot be told apart by it.
void CloseJournalEntries(UpdateContext& u, bool done)
{
    const std::string folder = JournalFolder(u);
    for (const JournalEntry& e : UnfinishedUpdates(folder)) {
        const bool own = e.backup == u.m_journalEntry;
        const bool restored = done && !u.m_writtenBackFrom.empty() && SameFile(u.m_writtenBackFrom, folder + e.backup);
        if (!(own && (done || !u.EraseStarted())) && !restored)
            continue;
        std::string error;
        if (!CloseJournalEntry(folder, e.backup, done ? "done" : "unchanged", error))
            u.Note("cannot close the journal entry of " + e.backup + ": " + error);
        else if (!own)
            u.Note("the channel data saved in " + folder + e.backup + " are back in the radio; its unfinished update is closed");
    }
}
