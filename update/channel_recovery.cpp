// Which channel data go into the radio, decided from what its channel area
// holds: compared with the backups of every unfinished update, never judged
// by a port's or a folder's name. Channel data never go into a radio that
// holds others without a copy of those (SaveReplacedChannelArea), and a
// radio whose channel data look lost is never written as it reads without
// the technician's word.
#include <algorithm>

#include "platform/paths.h"
#include "update/channel_area.h"
#include "update/iso_time.h"
#include "update/memory_map.h"
#include "update/sha256.h"
#include "update/update_journal.h"
#include "update/update_steps.h"

namespace {

struct Candidate {
    JournalEntry entry;
    std::vector<std::uint8_t> data;
    ChannelAreaKind kind = ChannelAreaKind::OwnData;
    int blocks = 0;
};

bool SameAdapter(const PortDetails& a, const PortDetails& b)
{
    return !a.serial.empty() && a.serial == b.serial && a.vidPid == b.vidPid;
}

std::string Folders(const UpdateContext& u)
{
    std::string text;
    for (const std::string& folder : u.m_journalFolders)
        text += (text.empty() ? "" : " and ") + folder;
    return text;
}

// The open entries of updates that no longer run (a running update holds
// its backup), with their backups checked and the radio's area judged
// against each; the entries of this adapter first.
std::vector<Candidate> OpenCandidates(UpdateContext& u, const PortDetails& adapter)
{
    std::vector<Candidate> found;
    for (JournalEntry& e : UnfinishedUpdates(u.m_journalFolders)) {
        if (DataFileInUse(e.BackupPath()))
            continue;
        Candidate c;
        std::string error;
        if (!ReadJournalBackup(e, c.data, error)) {
            u.Note("an unfinished update's backup cannot be offered: " + error);
            continue;
        }
        c.kind = ClassifyChannelArea(u.m_radioChannelData, c.data, c.blocks);
        c.entry = std::move(e);
        found.push_back(std::move(c));
    }
    std::stable_partition(found.begin(), found.end(),
                          [&adapter](const Candidate& c) { return SameAdapter(c.entry.adapter, adapter); });
    return found;
}

std::string Describe(const Candidate& c)
{
    return c.entry.BackupPath() + " (port " + c.entry.port + ", started " + LocalTimeOfIso(c.entry.start) + ")";
}

// A channel area whose last blocks are erased may be a write cut short, or
// a radio with unused channels. The flash's last block tells them apart:
// the write goes upwards and ends there, so it is erased while a write is
// unfinished and holds the firmware's last bytes once one has completed.
// Read only for such an area, so it costs nothing on the good path.
bool FlashWriteUnfinished(UpdateContext& u, bool& unfinished)
{
    constexpr std::uint32_t kLastBlock = kImageBase + kImageSize - kBlockSize;
    if (!u.WithRetries(ReadBlock, kLastBlock))
        return false;
    unfinished = FlashBlockErased(u.m_link.RxBuf() + 2);  // after the two header bytes
    return true;
}

bool LastChannelBlockErased(const std::vector<std::uint8_t>& area)
{
    return FlashBlockErased(area.data() + area.size() - kBlockSize);
}

bool WriteBack(UpdateContext& u, Candidate& c, bool proven)
{
    u.m_writtenBackProven = proven;
    return WriteBackBackup(u, c.data, c.entry.BackupPath());
}

// A refusal that leaves the radio unchanged but needing another update:
// its channel data look lost.
bool RefuseAsLost(UpdateContext& u, const std::string& text)
{
    u.m_result.channelDataLost = true;
    u.SetDetail(text);
    return false;
}

std::string LostText(const std::vector<Candidate>& offered, const std::string& holds)
{
    std::string text = "this radio's channel area " + holds + ": its channel data look lost. ";
    text += offered.size() == 1 ? "The unfinished update of " + Describe(offered[0]) + " saved them"
                                : "Unfinished updates saved channel data in ";
    for (std::size_t i = 0; offered.size() > 1 && i < offered.size(); ++i)
        text += (i > 0 ? "; " : "") + Describe(offered[i]);
    return text + ". Nothing was changed; the radio needs another update with its channel data";
}

// The window and the prompt: each backup offered in turn, Cancel by
// default; then whether to write the area as it reads.
bool OfferBackups(UpdateContext& u, std::vector<Candidate>& offered, const std::string& holds)
{
    for (std::size_t i = 0; i < offered.size(); ++i) {
        Candidate& c = offered[i];
        const std::string count =
            offered.size() > 1 ? " (" + std::to_string(i + 1) + " of " + std::to_string(offered.size()) + ")" : "";
        const std::string area = c.kind == ChannelAreaKind::CutShort ? DescribeChannelArea(c.kind, c.blocks) : holds;
        if (u.AskCancelByDefault("An earlier update did not finish" + count + ".\n\nThis radio's channel area " +
                                 area + ".\n\nWrite back the channel data saved in\n" + c.entry.BackupPath() +
                                 "\n(port " + c.entry.port + ", started " + LocalTimeOfIso(c.entry.start) +
                                 ")?\n\nOK writes them into this radio. Cancel keeps them out of it."))
            return WriteBack(u, c, true);
    }
    if (u.AskCancelByDefault("Write the firmware with this radio's channel area as it reads (" + holds +
                             ")?\n\nOK loses the channel programming it had. Cancel leaves the radio unchanged; "
                             "press WRITE again to write back a backup.")) {
        u.Note("the channel area is written as it reads (" + holds + "), as the technician chose");
        return true;
    }
    RefuseAsLost(u, LostText(offered, holds));
    u.Message("The radio is unchanged, but its channel data look lost: it needs another update.\n\nPress WRITE "
              "again and answer OK to write back the channel data saved in\n" +
              offered.front().entry.BackupPath() + ".");
    return false;
}

bool DecideLost(UpdateContext& u, std::vector<Candidate>& offered, const std::string& holds, bool erased)
{
    for (const Candidate& c : offered)
        u.m_result.offeredBackups.push_back(c.entry.BackupPath());
    u.m_result.offeredBackup = u.m_result.offeredBackups.front();
    switch (u.m_request.erasedChannelArea) {
    case ErasedChannelArea::WriteBlank:
        // Blank means erased: a write-back cut short is never finished as it reads.
        if (erased) {
            u.Note("this radio's channel area " + holds + "; it is written blank, as asked");
            return true;
        }
        return RefuseAsLost(u, LostText(offered, holds));
    case ErasedChannelArea::Refuse:
        return RefuseAsLost(u, LostText(offered, holds));
    case ErasedChannelArea::Ask:
        break;
    }
    return OfferBackups(u, offered, holds);
}

// An erased area that no unfinished update explains: another user's or
// another computer's update, or a radio never programmed.
bool DecideErasedWithoutEntry(UpdateContext& u)
{
    const std::string why = "this radio's channel area reads as erased and no unfinished update in " + Folders(u) +
                            " explains it: its channel data look lost (an update by another user or on another "
                            "computer?), or it was never programmed";
    switch (u.m_request.erasedChannelArea) {
    case ErasedChannelArea::WriteBlank:
        u.Note("the radio's channel area reads as erased; it is written blank, as asked");
        return true;
    case ErasedChannelArea::Refuse:
        return RefuseAsLost(u, why + ". Nothing was changed. Update it with a backup of its channel data "
                                     "(--channel-data FILE; backups are kept beside the data file of the update "
                                     "that made them), or add --blank-channel-data for a radio never programmed");
    case ErasedChannelArea::Ask:
        break;
    }
    if (u.AskCancelByDefault("This radio's channel area is erased, and no unfinished update explains it: its "
                             "channel data look lost, or it was never programmed.\n\nBackups are kept in " +
                             Folders(u) + ".\n\nWrite the firmware with the channel area blank?\n\nOK writes it "
                             "blank. Cancel leaves the radio unchanged.")) {
        u.Note("the erased channel area is written blank, as the technician chose");
        return true;
    }
    RefuseAsLost(u, why + ". Nothing was changed");
    u.Message("The radio is unchanged. Its channel area is erased, and no backup of it is known here.\n\nIf it "
              "was never programmed, press WRITE again and answer OK to write it blank; if it was, write its "
              "channel data back from a backup first.");
    return false;
}

// Data, then erased blocks, in a radio whose flash write never finished: an
// update cut short that no unfinished update here explains (another user's,
// another computer's). Never written as it reads without the technician.
bool DecideCutShortWithoutEntry(UpdateContext& u)
{
    const std::string why = "this radio's channel area ends in erased blocks and its flash's last block is "
                            "erased: an update of it was cut short, and no unfinished update in " + Folders(u) +
                            " explains it (another user's or another computer's?); its channel data look lost";
    if (u.m_request.erasedChannelArea == ErasedChannelArea::Ask &&
        u.AskCancelByDefault("This radio's flash write was cut short, and no unfinished update here explains it: "
                             "its channel data look lost.\n\nWrite the firmware with the channel area as it "
                             "reads?\n\nOK loses what the cut-short update would have written back. Cancel "
                             "leaves the radio unchanged; write its channel data back from a backup first.")) {
        u.Note("the cut-short channel area is written as it reads, as the technician chose");
        return true;
    }
    return RefuseAsLost(u, why + ". Nothing was changed. Update it with a backup of its channel data "
                                 "(--channel-data FILE) from where that update kept its files");
}

// Channel data named by the technician (--channel-data, the printed restore
// command): checked against the journal's SHA-256, and never put into a
// radio that holds different data of its own unless insisted on.
bool DecideNamed(UpdateContext& u, bool unfinished)
{
    Candidate c;
    c.data = u.m_request.channelData;
    c.entry.folder = DirectoryOf(u.m_request.channelDataFile);
    c.entry.backup = u.m_request.channelDataFile.substr(c.entry.folder.size());
    std::vector<std::string> folders = u.m_journalFolders;
    folders.push_back(c.entry.folder);
    const std::vector<std::string> recorded = RecordedBackupSha256(folders, u.m_request.channelDataFile);
    const std::string sha = Sha256Of(c.data.data(), c.data.size());
    if (!recorded.empty() && std::find(recorded.begin(), recorded.end(), sha) == recorded.end()) {
        u.SetDetail(u.m_request.channelDataFile + " is not the backup the update saved: its SHA-256 (" + sha +
                    ") differs from the journal's (" + recorded.front() +
                    "). Nothing was changed");
        return false;
    }
    if (recorded.empty())
        u.Note("no journal names " + u.m_request.channelDataFile + ", so its SHA-256 cannot be checked");
    c.kind = ClassifyChannelArea(u.m_radioChannelData, c.data, c.blocks);
    if (c.kind == ChannelAreaKind::CutShort && !unfinished)
        c.kind = ChannelAreaKind::OwnData;  // a radio with unused channels, its flash complete
    if (c.kind == ChannelAreaKind::OwnData && !u.m_request.replaceChannelData) {
        u.SetDetail("this radio holds channel data of its own, intact and different from " +
                    u.m_request.channelDataFile +
                    ": it is not the radio whose channel data were saved there (radios swapped, or adapters "
                    "renumbered?). Nothing was changed. To replace its channel data anyway (they are saved "
                    "first), add --replace-channel-data");
        return false;
    }
    return WriteBack(u, c, c.kind == ChannelAreaKind::Erased || c.kind == ChannelAreaKind::CutShort);
}

}  // namespace

bool ResolveChannelData(UpdateContext& u)
{
    u.m_radioChannelData = u.m_channelData;
    u.m_adapter = u.m_host.DescribePort(u.m_request.port);
    const PortDetails& adapter = u.m_adapter;
    std::vector<Candidate> open = OpenCandidates(u, adapter);
    // An entry closes with this radio's "Done." only on proof: its backup
    // unchanged in the radio, behind the same adapter.
    for (const Candidate& c : open) {
        if (c.kind == ChannelAreaKind::Identical && SameAdapter(c.entry.adapter, adapter))
            u.m_sameRadioEntries.push_back(c.entry.BackupPath());
    }
    const bool erased = ChannelDataErased(u.m_radioChannelData);
    bool unfinished = false;
    if (!erased && LastChannelBlockErased(u.m_radioChannelData) && !FlashWriteUnfinished(u, unfinished))
        return false;
    if (!u.m_request.channelData.empty())
        return DecideNamed(u, unfinished || erased);
    if (erased)
        return open.empty() ? DecideErasedWithoutEntry(u) : DecideLost(u, open, "is erased", true);
    std::vector<Candidate> cut;
    for (Candidate& c : open) {
        if (c.kind == ChannelAreaKind::CutShort && unfinished)
            cut.push_back(c);
    }
    if (!cut.empty())
        return DecideLost(u, cut, DescribeChannelArea(ChannelAreaKind::CutShort, cut.front().blocks), false);
    // A write cut short past the channel area leaves it whole: an entry's
    // backup, unchanged, explains it.
    const bool explained = std::any_of(open.begin(), open.end(), [](const Candidate& c) {
        return c.kind == ChannelAreaKind::Identical;
    });
    if (unfinished && !explained)
        return DecideCutShortWithoutEntry(u);
    // Data of its own (or an unchanged backup's): they go on, and every
    // other entry stays open for its own radio.
    return true;
}
