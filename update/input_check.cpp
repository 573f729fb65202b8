// The inputs of an update, read and checked before the radio is touched:
// the boot program, the firmware file, and that no output would overwrite
// any of them.
#include <filesystem>
#include <fstream>

#include "dialog/updater_dialog.h"
#include "image/firmware_image.h"

namespace fs = std::filesystem;

namespace {

// Why `path` cannot be read as an input file (empty when it can): a
// directory or a FIFO would fail late or hang.
std::string NotARegularFile(const std::string& path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(fs::u8path(path), ec);
    if (ec || !fs::exists(st))
        return path + ": no such file";
    if (fs::is_directory(st))
        return path + ": a folder, not a file";
    if (!fs::is_regular_file(st))
        return path + ": not a regular file";
    return std::string();
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(fs::u8path(a), fs::u8path(b), ec) && !ec;
}

}  // namespace

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
    std::string error = NotARegularFile(path);
    if (error.empty() && BootLoaderImage::LoadS19(path, m_bootImage, error))
        return true;
    SetDetail("boot program refused: " + error);
    return false;
}

bool UpdaterDialog::ReadFirmwareFile(FirmwareImage& image, const ConversionCallbacks& callbacks)
{
    if (m_strFirmwarePath.empty()) {
        SetDetail("no firmware file (*.002) found beside the program");
        return false;
    }
    const std::string unusable = NotARegularFile(m_strFirmwarePath);
    std::ifstream in(fs::u8path(m_strFirmwarePath), std::ios::binary);
    if (!unusable.empty() || !in) {
        SetDetail("firmware file cannot be opened: " + (unusable.empty() ? m_strFirmwarePath : unusable));
        return false;
    }
    ConvertSRecords(in, image, callbacks);
    // A damaged file must never reach the flash, and neither must an empty
    // image: both are refused while the radio is still intact.
    const std::string refusal = image.Refusal(m_strFirmwarePath);
    if (!refusal.empty()) {
        SetDetail(refusal);
        return false;
    }
    return true;
}

bool UpdaterDialog::CheckFirmwareFile()
{
    FirmwareImage image;
    if (!ReadFirmwareFile(image, {}))
        return false;
    for (const std::string& note : image.Notes())
        Note(m_strFirmwarePath + ": " + note);
    return true;
}

bool UpdaterDialog::CheckOutputs()
{
    const std::pair<const char*, std::string> inputs[] = {{"the firmware file", m_strFirmwarePath},
                                                          {"the boot program", BootProgramPath()},
                                                          {"the channel data", m_options.channelDataFile}};
    for (const auto& [what, path] : inputs) {
        if (SameFile(m_strDataFilePath, path)) {
            SetDetail("the data file " + m_strDataFilePath + " is " + what + " (" + path +
                      "): writing it would destroy it; choose another data file");
            return false;
        }
    }
    return true;
}
