// The WRITE procedure: every step in order, one log line each, and the
// common tear-down on every way out.
#include <cctype>
#include <chrono>
#include <ctime>
#include <thread>

#include "app/dialog_view.h"
#include "app/paths.h"
#include "app/string_table.h"
#include "app/updater_dialog.h"
#include "memory/radio_memory.h"
#include "res/resource.h"

bool UpdaterDialog::CreateDataFile()
{
    m_strDataFilePath = m_options.dataFilePath.empty() ? GetModuleDirectory() + "vokt.tmp" : m_options.dataFilePath;
    std::string error;
    if (!m_hDataFile.Create(m_strDataFilePath, error)) {
        SetDetail(error);
        return false;
    }
    return true;
}

void UpdaterDialog::EndUpdate()
{
    m_bUpdating = 0;
    m_bRun = 0;
    m_pSerial->Close();
    LockControls(false);
    m_hDataFile.Close();
    m_outcome = m_bEraseStarted ? UpdateOutcome::FailedAfterErase : UpdateOutcome::FailedIntact;
}

namespace {

// A file-name-safe form of a port name: "/dev/ttyUSB0" gives "ttyUSB0".
std::string PortTag(const std::string& port)
{
    const std::string base = port.substr(DirectoryOf(port).size());
    std::string tag;
    for (char c : base)
        tag += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return tag.empty() ? "port" : tag;
}

}  // namespace

bool UpdaterDialog::SaveChannelBackup()
{
    const std::string dir = DirectoryOf(m_strDataFilePath);
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));  // UI thread only
    const std::string stem = dir + "vokt-" + PortTag(m_strPort) + "-" + stamp;
    std::string error;
    for (int n = 1; n < 100; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".chd";
        if (WriteNewFile(path, m_channelData.data(), m_channelData.size(), error)) {
            m_strBackupPath = path;
            return true;
        }
    }
    SetDetail("cannot save the channel-data backup: " + error);
    return false;
}

void UpdaterDialog::OnWrite()
{
    ClearLog();
    m_bRun = 1;
    m_bEraseStarted = false;
    m_outcome = UpdateOutcome::FailedIntact;
    m_strDetail.clear();
    m_strBackupPath.clear();
    UpdateData(true);
    AppendLog(LoadStringResource(IDS_WAIT_POWER), false);

    if (!m_pSerial->Open(m_strPort)) {
        SetDetail(m_strPort.empty() ? "no port selected" : m_pSerial->LastOpenError());
        m_view.ShowMessage(LoadStringResource(IDS_CANT_OPEN_PORT), false);
        m_bRun = 0;
        return;
    }
    UpdateData(false);
    m_bUpdating = 1;
    if (!m_view.ShowMessage(LoadStringResource(IDS_POWER_SUPPLY), true)) {
        m_bUpdating = 0;
        m_bRun = 0;
        m_pSerial->Close();
        return;
    }
    AppendLog(LoadStringResource(IDS_OK_2TABS), false);
    LockControls(true);

    if (!CreateDataFile()) {
        m_view.ShowMessage(LoadStringResource(IDS_CANT_CREATE_FILE), false);
        m_bUpdating = 0;
        m_bRun = 0;
        m_pSerial->Close();
        LockControls(false);
        return;
    }

    // A failed step: its message (if it has one), then the tear-down.
    auto fail = [this](unsigned messageId) {
        if (messageId != 0)
            m_view.ShowMessage(LoadStringResource(messageId), false);
        EndUpdate();
    };

    AppendLog(LoadStringResource(IDS_RADIO_CONNECTION), true);
    if (!ConnectRadio())
        return fail(0);
    AppendLog(LoadStringResource(IDS_OK_3TABS), false);

    AppendLog(LoadStringResource(IDS_BOOT_SENDING), true);
    if (!UploadBootProgram())
        return fail(IDS_BOOT_SEND_ERROR);
    AppendLog(LoadStringResource(IDS_OK_2TABS), false);

    AppendLog(LoadStringResource(IDS_BOOT_START), true);
    if (!ConnectRadio() || !StartBootProgram())
        return fail(0);
    AppendLog(LoadStringResource(IDS_OK_3TABS), false);

    if (!QueryDataProtect())
        return fail(IDS_DATA_PROTECT_ERROR);

    AppendLog(LoadStringResource(IDS_FIRMWARE_CONVERT), true);
    Pause();
    if (!ConvertFirmware())
        return fail(IDS_CANT_CREATE_FILE);
    AppendLog(LoadStringResource(IDS_OK_1TAB), false);

    // The channel data is kept in a backup of its own before anything is
    // erased, so that a failed write cannot lose the radio's programming.
    AppendLog(LoadStringResource(IDS_DATA_LOADING), true);
    if (!ReadChannelData() || !SaveChannelBackup())
        return fail(IDS_CHANNEL_READ_ERROR);
    AppendLog(LoadStringResource(IDS_OK_3TABS), false);

    AppendLog(LoadStringResource(IDS_ROM_CLEAR), true);
    if (!ClearRom())
        return fail(IDS_ROM_CLEAR_ERROR);
    AppendLog(LoadStringResource(IDS_OK_3TABS), false);

    AppendLog(LoadStringResource(IDS_FIRMWARE_WRITE), true);
    if (!WriteFirmware())
        return fail(IDS_FIRM_WRITE_ERROR);
    AppendLog(LoadStringResource(IDS_OK_3TABS), false);

    m_bRun = 0;
    m_bUpdating = 0;
    m_pSerial->Close();
    LockControls(false);
    m_outcome = UpdateOutcome::Done;
    m_view.ShowMessage(LoadStringResource(IDS_DONE), false);
    m_hDataFile.Close();
    ClearLog();
    m_view.SetProgressPos(0);
}
