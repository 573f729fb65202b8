#pragma once
#include <cstdint>
#include <string>
#include <vector>

class Host;

// How the last update ended, for front ends that report it (exit codes).
enum class UpdateOutcome {
    None,             // no update has run
    Done,             // "Done."
    FailedIntact,     // failed or cancelled before the ROM clear began
    FailedAfterErase,  // failed or aborted once the ROM clear had begun
    // Refused before the ROM clear because the radio's channel data look
    // lost (erased, or cut short): the radio needs another update with them.
    ChannelDataLost
};

// What to do when the radio's channel area reads as erased or cut short
// from an unfinished update's backup.
enum class ErasedChannelArea {
    Ask,         // ask whether to write the backup back (the windows, a prompt)
    Refuse,      // stop with the radio unchanged (unattended runs)
    WriteBlank   // write the area as it is
};

// What to do with a firmware file that looks cut short: no termination
// record, and its data stop before the end of the firmware area.
enum class IncompleteFirmware {
    Ask,     // ask whether to write it anyway (the windows)
    Refuse,  // refuse it (the command line, unless told otherwise)
    Write    // write it, with a warning
};

// Everything one update of one radio needs to know. Every front end builds
// one: the windows from their fields and profile, the command line from
// its options.
struct UpdateRequest {
    std::string port;
    std::string firmwarePath;   // the firmware file (*.002)
    std::string mode = "RELEASE";  // or "TEST": the marker written with the channel data
    std::string dataFilePath;   // empty: vokt.tmp in the data folder
    std::string bootImageFile;  // the boot program to upload; empty: boot.s19 where the host keeps it
    // 16 KiB of channel data (a backup) to write instead of reading the radio's,
    // and the file they came from.
    std::vector<std::uint8_t> channelData;
    std::string channelDataFile;
    // Those channel data replace a radio's own, different ones (which are
    // saved first); without it such a radio is refused.
    bool replaceChannelData = false;
    ErasedChannelArea erasedChannelArea = ErasedChannelArea::Ask;
    IncompleteFirmware incompleteFirmware = IncompleteFirmware::Ask;
    // Read the flash back after the write and compare it with the image.
    bool verify = false;
    // Why a firmware file that the catalogue of approved firmware does not
    // list is written anyway (empty: such a file is refused).
    std::string unapprovedReason;
    // The bench position of a station ("bench 3"), kept in the journal and
    // the service record; empty elsewhere.
    std::string position;
    // The identity of the station's adapter ("USB A12345"), whatever port
    // name the adapter has today, and the tag that names its files and
    // backups (unique among the station's positions). Empty elsewhere.
    std::string adapterIdentity;
    std::string fileTag;
};

// What an update leaves behind, for the front ends to present.
struct UpdateResult {
    UpdateOutcome outcome = UpdateOutcome::None;
    std::string dataFilePath;
    std::string backupPath;  // this update's channel-data backup (empty: none saved)
    // The backups offered for a radio whose update did not finish, or whose
    // channel area read as erased; the first of them.
    std::vector<std::string> offeredBackups;
    std::string offeredBackup;
    std::string lastMessage;  // the last message box ("Done.", "Firm write error.", ...)
    std::string detail;       // why the last step failed, for a technician (empty if unknown)
    bool stoppedByTechnician = false;
    // Refused because the radio's channel data look lost (erased or cut
    // short): the radio needs another update with them.
    bool channelDataLost = false;
    std::string record;       // the service record: one JSON object
};

// The data file an update of `request` uses: the request's own, else
// vokt.tmp in the host's data folder.
std::string DataFilePathFor(const UpdateRequest& request, Host& host);
