// The dialog's state, start-up, log pane, CLOSE and the saving of the port.
#include "dialog/updater_dialog.h"

#include "dialog/string_table.h"
#include "platform/paths.h"
#include "res/resource.h"
#include "serial/periodic_timer.h"

UpdaterDialog::UpdaterDialog(DialogView& view, MessagePump& pump, Host& host, Timing timing)
    : m_view(view), m_pump(pump), m_host(host), m_timing(timing), m_hIcon(IDR_MAINFRAME)
{
    m_pSerial = std::make_unique<SerialChannel>(
        this, [&host] { return host.MakePortBackend(); }, timing.closeWait);
    m_pSerial->SetClosedPortReporter([this] { m_view.ShowMessage(TXT_NOT_OPEN_PORT, false); });
}

UpdaterDialog::~UpdaterDialog()
{
    StopResendTimer();
    m_pSerial->Close();
}

bool UpdaterDialog::OnInitDialog(const std::string& commandLine)
{
    m_view.SetIcon(m_hIcon);

    const bool test = commandLine == "/t" || commandLine == "/T" || commandLine == "-t" || commandLine == "-T";
    m_strMode = test ? "TEST" : "RELEASE";
    m_strTitle = LoadStringResource(IDS_APP_NAME) + " " + m_strMode + " (" + LoadStringResource(IDS_VERSION) +
                 ") for " + LoadStringResource(IDS_RADIO_MODEL);
    m_view.SetTitle(m_strTitle);

    const std::string saved = m_host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, PROFILE_DEFAULT_PORT);
    m_options.verify = m_host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_VERIFY, "0") == "1";

    std::vector<std::string> candidates;
    std::vector<std::string> listed;
    int selected = 0;
    if (!m_host.EnumeratePorts(candidates)) {
        m_view.ShowMessage(TXT_ERROR, false);
        candidates.clear();
    }
    for (const std::string& name : candidates) {
        if (!m_pSerial->Open(name))
            continue;
        if (name == saved)
            selected = static_cast<int>(listed.size());
        listed.push_back(name);
        m_pSerial->Close();
    }
    m_view.SetPortList(listed, listed.empty() ? -1 : selected);

    UpdateData(true);
    m_strFirmwarePath = FindFirmwareFile();
    UpdateData(false);
    return true;
}

void UpdaterDialog::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        m_strFirmwarePath = m_view.FirmwarePath();
        m_strPort = m_view.SelectedPort();
    } else {
        m_view.SetFirmwarePath(m_strFirmwarePath);
        m_view.SelectPort(m_strPort);
    }
}

std::string UpdaterDialog::GetModuleDirectory()
{
    return DirectoryOf(m_host.ModuleFileName());
}

std::string UpdaterDialog::FindFirmwareFile()
{
    const std::string dir = m_host.FirmwareFolder();
    const std::string name = m_host.FirstFileWithExtension(dir, ".002");
    return name.empty() ? std::string() : dir + name;
}

void UpdaterDialog::ClearLog()
{
    m_strLog.clear();
    m_view.SetLogText(m_strLog, std::string());
}

void UpdaterDialog::AppendLog(const std::string& text, bool newLineFirst)
{
    m_strLog += newLineFirst ? "\r\n" + text : text;
    m_view.SetLogText(m_strLog, std::string());
}

void UpdaterDialog::ShowTransient(const std::string& text)
{
    m_view.SetLogText(m_strLog, text);
}

void UpdaterDialog::LockControls(bool lock)
{
    m_bLocked = lock;
    m_view.LockControls(lock);
}

void UpdaterDialog::OnCloseButton()
{
    if (m_bUpdating == 1) {
        m_bRun = 0;
        m_stoppedByTechnician = true;
    }
    m_pSerial->Close();
    m_view.EndDialog();
}

void UpdaterDialog::OnTimer(unsigned /*id*/)
{
    m_bTimedOut = 1;
    m_pump.KillTimer1();
}

void UpdaterDialog::OnDestroy()
{
    UpdateData(true);
    m_host.WriteProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, m_strPort);
    UpdateData(false);
}
