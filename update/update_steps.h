#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "update/update_context.h"

struct ConversionCallbacks;
struct FirmwareImage;
struct GuardedFile;

// The steps of the update, in their order, as functions over its context.
// Each returns false when it fails, with the reason set as the detail.

// ---- inputs checked before the radio is touched (input_check.cpp) ----
std::string BootProgramPath(UpdateContext& u);
bool CheckBootProgram(UpdateContext& u);
bool CheckFirmwareFile(UpdateContext& u);
bool CheckOutputs(UpdateContext& u);
// The firmware against the catalogue of approved firmware, before the port
// opens (firmware_approval.cpp); and the bytes converted against the same.
bool CheckApprovedFirmware(UpdateContext& u);
bool FirmwareStillApproved(UpdateContext& u);
// Reads and judges the firmware file; only with `mayAsk` is the technician
// asked about a file that looks cut short.
bool ReadFirmwareFile(UpdateContext& u, FirmwareImage& image, const ConversionCallbacks& callbacks, bool mayAsk);
// The inputs and kept files that an output beside `dataFile` must spare.
std::vector<GuardedFile> GuardedInputs(UpdateContext& u, const std::string& dataFile);
bool CreateDataFile(UpdateContext& u);

// ---- the short exchanges (connect_boot_protect.cpp, boot_upload.cpp) ----
bool ConnectRadio(UpdateContext& u);
bool UploadBootProgram(UpdateContext& u);
bool StartBootProgram(UpdateContext& u);
bool QueryDataProtect(UpdateContext& u);

// ---- the firmware into the image (firmware_conversion.cpp) ----
bool ConvertFirmware(UpdateContext& u);

// ---- channel data (channel_read.cpp, channel_backup.cpp, erased_channel_area.cpp) ----
bool ReadChannelData(UpdateContext& u);
bool ReadBlock(UpdateContext& u, std::uint32_t address);
// Stores one block of channel data in the image, with the mode marker.
bool StoreChannelBlock(UpdateContext& u, std::uint32_t address, std::uint8_t* block);
// Puts a backup's 16 KiB into the image in place of the radio's own.
bool WriteBackBackup(UpdateContext& u, std::vector<std::uint8_t>& data, const std::string& path);
// Saves `data` as a new backup beside the data file; its path in `path`.
bool SaveBackupFile(UpdateContext& u, const std::vector<std::uint8_t>& data, std::string& path);
bool SaveChannelBackup(UpdateContext& u);

// ---- recovery from the radio's own evidence (channel_recovery.cpp, unfinished_updates.cpp) ----
// Which channel data go into the radio, from what its channel area holds
// against the backups of every unfinished update: its own, a backup written
// back (named, or accepted when offered), or a refusal.
bool ResolveChannelData(UpdateContext& u);
// When other channel data replace what the radio held: a copy of what it
// held, as a backup named in the journals.
bool SaveReplacedChannelArea(UpdateContext& u);
// Before the first clear command: this update's entry, on the disk, its
// backup held while the update runs.
bool RecordUnfinishedUpdate(UpdateContext& u);
// At the end: closes the entries this update proved finished: its own when
// it is done or never began the erase, the entry whose backup went back
// into an erased or cut-short radio, and entries of this radio and adapter.
void CloseJournalEntries(UpdateContext& u, bool done);

// ---- erase, write, verify (rom_clear.cpp, firmware_write.cpp, firmware_verify.cpp) ----
bool ClearRom(UpdateContext& u);
bool WriteFirmware(UpdateContext& u);
bool WriteBlock(UpdateContext& u, std::uint32_t address);
// The image's block at `address` from the data file; the reason on failure.
bool ReadImageBlock(UpdateContext& u, std::uint32_t address, std::uint8_t* block);
bool VerifyFirmware(UpdateContext& u);
// The written blocks whose acknowledgement may have answered something else,
// read back: one found erased is written again; one that differs otherwise,
// or that a radio cannot read back, fails the update.
bool CheckBlocksInDoubt(UpdateContext& u);

// ---- the service record (service_record.cpp) ----
std::string ServiceRecordPath(const std::string& dataFilePath);
void AppendServiceRecord(UpdateContext& u);
