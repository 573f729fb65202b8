// The inputs of an update, read and checked before the radio is touched:
// the boot program, the firmware file, and that no output would overwrite
// any of them.
#include <filesystem>
#include <istream>

#include "update/update_steps.h"
#include "image/firmware_image.h"
#include "platform/input_file.h"
#include "update/hashed_input.h"
#include "update/output_guard.h"
#include "update/timing.h"
#include "platform/data_file.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

static bool AcceptCutShortFirmware(UpdateContext& u, const std::string& reason, bool mayAsk);

std::string BootProgramPath(UpdateContext& u)
{
    if (!u.m_request.bootImageFile.empty())
        return u.m_request.bootImageFile;
    const std::vector<std::string> places = u.m_host.BootProgramPlaces();
    for (const std::string& place : places) {
        std::error_code ec;
        if (fs::exists(fs::u8path(place), ec))
            return place;
    }
    return places.empty() ? std::string() : places.front();
}

bool CheckBootProgram(UpdateContext& u)
{
    const std::string path = BootProgramPath(u);
    std::error_code ec;
    if (u.m_request.bootImageFile.empty() && !fs::exists(fs::u8path(path), ec)) {
        std::string looked;
        for (const std::string& place : u.m_host.BootProgramPlaces())
            looked += (looked.empty() ? "" : ", ") + place;
        u.SetDetail("no boot program: looked for " + looked +
                  ". A radio needs its maker's boot program: put it there as boot.s19");
        return false;
    }
    std::string error;
    InputFile file;
    if (file.Open(path, error) && BootLoaderImage::LoadS19(file.Stream(), path, u.m_bootImage, error))
        return true;
    u.SetDetail("boot program refused: " + error);
    return false;
}

bool ReadFirmwareFile(UpdateContext& u, FirmwareImage& image, const ConversionCallbacks& callbacks, bool mayAsk)
{
    if (u.m_request.firmwarePath.empty()) {
        u.SetDetail("no firmware file (*.002) found beside the program");
        return false;
    }
    std::string error;
    InputFile file;
    if (!file.Open(u.m_request.firmwarePath, error)) {
        u.SetDetail("firmware file cannot be opened: " + error);
        return false;
    }
    HashedInput hashed(*file.Stream().rdbuf());
    std::istream in(&hashed);
    ConvertSRecords(in, image, callbacks);
    // The service record names the bytes read here (the last read is the
    // conversion's, whose image is written), not the file as it is later.
    u.m_firmwareSha256 = hashed.FinishDigest(u.m_firmwareSize);
    // A damaged file must never reach the flash, and neither must an empty
    // image: both are refused while the radio is still intact.
    const std::string refusal = image.Refusal(u.m_request.firmwarePath);
    if (!refusal.empty()) {
        u.SetDetail(refusal);
        return false;
    }
    const std::string cutShort = image.CutShort(u.m_request.firmwarePath);
    return cutShort.empty() || AcceptCutShortFirmware(u, cutShort, mayAsk);
}

// A file that looks cut short is written only when the technician insists:
// by option, or by answering the question (asked once per update, before
// the port opens).
static bool AcceptCutShortFirmware(UpdateContext& u, const std::string& reason, bool mayAsk)
{
    if (!u.m_incompleteAccepted && mayAsk) {
        switch (u.m_request.incompleteFirmware) {
        case IncompleteFirmware::Write:
            u.m_incompleteAccepted = true;
            break;
        case IncompleteFirmware::Ask:
            u.m_incompleteAccepted = u.Ask(
                reason + ".\n\nThe bytes it does not set would be written as 0xFF.\nWrite it anyway?");
            break;
        case IncompleteFirmware::Refuse:
            break;
        }
    }
    if (u.m_incompleteAccepted) {
        if (mayAsk)
            u.Note("warning: " + reason + "; written anyway, as asked");
        return true;
    }
    u.SetDetail(reason + ": refused" +
              (u.m_request.incompleteFirmware == IncompleteFirmware::Refuse ? " (--allow-incomplete writes it anyway)"
                                                                          : ""));
    return false;
}

bool CheckFirmwareFile(UpdateContext& u)
{
    FirmwareImage image;
    if (!ReadFirmwareFile(u, image, {}, true))
        return false;
    for (const std::string& note : image.Notes())
        u.Note(u.m_request.firmwarePath + ": " + note);
    return true;
}

std::vector<GuardedFile> GuardedInputs(UpdateContext& u, const std::string& dataFile)
{
    std::vector<GuardedFile> files = {{"the firmware file", u.m_request.firmwarePath},
                                      {"the boot program", BootProgramPath(u)},
                                      {"the channel data", u.m_request.channelDataFile},
                                      {"the serial port", u.m_request.port}};
    const std::vector<GuardedFile> kept = KeptFiles(u.m_host, dataFile);
    files.insert(files.end(), kept.begin(), kept.end());
    return files;
}

// Whether a file can be made in the data file's folder, found out with a
// file of its own that is removed at once: the data file itself (perhaps
// an earlier update's) is not touched before "Power Supply?".
bool DataFolderWritable(UpdateContext& u)
{
    const std::string folder = DirectoryOf(u.m_dataFilePath);
    const std::string probe = folder + ".vokta4-probe-" + std::to_string(SteadyNanos());
    static const std::uint8_t nothing = 0;
    std::string error;
    if (!WriteNewFile(probe, &nothing, 0, error)) {
        if (error.compare(0, probe.size() + 2, probe + ": ") == 0)
            error.erase(0, probe.size() + 2);  // the reason, not the probe's name
        u.SetDetail("the data file " + u.m_dataFilePath + " cannot be written: " + error);
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(std::filesystem::u8path(probe), ec);
    return true;
}

bool CheckOutputs(UpdateContext& u)
{
    const std::string conflict =
        ::OutputConflict("the data file " + u.m_dataFilePath, u.m_dataFilePath, GuardedInputs(u, u.m_dataFilePath));
    if (!conflict.empty()) {
        u.SetDetail(conflict);
        return false;
    }
    return DataFolderWritable(u);
}

// The data file's path was set, and checked against the inputs, by CheckOutputs.
bool CreateDataFile(UpdateContext& u)
{
    std::string error;
    if (!u.m_hDataFile.Create(u.m_dataFilePath, error)) {
        u.SetDetail(error);
        return false;
    }
    return true;
}
