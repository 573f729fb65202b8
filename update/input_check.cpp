// The inputs of an update, read and checked before the radio is touched:
// the boot program, the firmware file, and that no output would overwrite
// any of them.
#include <filesystem>
#include <istream>

#include "dialog/updater_dialog.h"
#include "image/firmware_image.h"
#include "platform/input_file.h"
#include "update/hashed_input.h"
#include "update/output_guard.h"

namespace fs = std::filesystem;

std::string UpdaterDialog::BootProgramPath()
{
    if (!m_options.bootImageFile.empty())
        return m_options.bootImageFile;
    const std::vector<std::string> places = m_host.BootProgramPlaces();
    for (const std::string& place : places) {
        std::error_code ec;
        if (fs::exists(fs::u8path(place), ec))
            return place;
    }
    return places.empty() ? std::string() : places.front();
}

bool UpdaterDialog::CheckBootProgram()
{
    const std::string path = BootProgramPath();
    std::error_code ec;
    if (m_options.bootImageFile.empty() && !fs::exists(fs::u8path(path), ec)) {
        std::string looked;
        for (const std::string& place : m_host.BootProgramPlaces())
            looked += (looked.empty() ? "" : ", ") + place;
        SetDetail("no boot program: looked for " + looked +
                  ". A radio needs its maker's boot program: put it there as boot.s19");
        return false;
    }
    std::string error;
    InputFile file;
    if (file.Open(path, error) && BootLoaderImage::LoadS19(file.Stream(), path, m_bootImage, error))
        return true;
    SetDetail("boot program refused: " + error);
    return false;
}

bool UpdaterDialog::ReadFirmwareFile(FirmwareImage& image, const ConversionCallbacks& callbacks, bool mayAsk)
{
    if (m_strFirmwarePath.empty()) {
        SetDetail("no firmware file (*.002) found beside the program");
        return false;
    }
    std::string error;
    InputFile file;
    if (!file.Open(m_strFirmwarePath, error)) {
        SetDetail("firmware file cannot be opened: " + error);
        return false;
    }
    HashedInput hashed(*file.Stream().rdbuf());
    std::istream in(&hashed);
    ConvertSRecords(in, image, callbacks);
    // The service record names the bytes read here (the last read is the
    // conversion's, whose image is written), not the file as it is later.
    m_firmwareSha256 = hashed.FinishDigest(m_firmwareSize);
    // A damaged file must never reach the flash, and neither must an empty
    // image: both are refused while the radio is still intact.
    const std::string refusal = image.Refusal(m_strFirmwarePath);
    if (!refusal.empty()) {
        SetDetail(refusal);
        return false;
    }
    const std::string cutShort = image.CutShort(m_strFirmwarePath);
    return cutShort.empty() || AcceptCutShortFirmware(cutShort, mayAsk);
}

// A file that looks cut short is written only when the technician insists:
// by option, or by answering the question (asked once per update, before
// the port opens).
bool UpdaterDialog::AcceptCutShortFirmware(const std::string& reason, bool mayAsk)
{
    if (!m_incompleteAccepted && mayAsk) {
        switch (m_options.incompleteFirmware) {
        case IncompleteFirmware::Write:
            m_incompleteAccepted = true;
            break;
        case IncompleteFirmware::Ask:
            m_incompleteAccepted = m_view.ShowMessage(
                reason + ".\n\nThe bytes it does not set would be written as 0xFF.\nWrite it anyway?", true);
            break;
        case IncompleteFirmware::Refuse:
            break;
        }
    }
    if (m_incompleteAccepted) {
        if (mayAsk)
            Note("warning: " + reason + "; written anyway, as asked");
        return true;
    }
    SetDetail(reason + ": refused" +
              (m_options.incompleteFirmware == IncompleteFirmware::Refuse ? " (--allow-incomplete writes it anyway)"
                                                                          : ""));
    return false;
}

bool UpdaterDialog::CheckFirmwareFile()
{
    FirmwareImage image;
    if (!ReadFirmwareFile(image, {}, true))
        return false;
    for (const std::string& note : image.Notes())
        Note(m_strFirmwarePath + ": " + note);
    return true;
}

std::vector<GuardedFile> UpdaterDialog::GuardedInputs(const std::string& dataFile)
{
    std::vector<GuardedFile> files = {{"the firmware file", m_view.FirmwarePath()},
                                      {"the boot program", BootProgramPath()},
                                      {"the channel data", m_options.channelDataFile},
                                      {"the serial port", m_view.SelectedPort()}};
    const std::vector<GuardedFile> kept = KeptFiles(m_host, dataFile);
    files.insert(files.end(), kept.begin(), kept.end());
    return files;
}

std::string UpdaterDialog::OutputConflict(const std::string& what, const std::string& output)
{
    const std::string dataFile = ChosenDataFilePath();
    std::vector<GuardedFile> files = GuardedInputs(dataFile);
    files.push_back({"the data file", dataFile});
    return ::OutputConflict(what, output, files);
}

bool UpdaterDialog::CheckOutputs()
{
    const std::string conflict =
        ::OutputConflict("the data file " + m_strDataFilePath, m_strDataFilePath, GuardedInputs(m_strDataFilePath));
    if (conflict.empty())
        return true;
    SetDetail(conflict);
    return false;
}
