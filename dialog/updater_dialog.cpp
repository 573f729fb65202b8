// The dialog's state, start-up, WRITE, CLOSE and the saving of the port.
#include "dialog/updater_dialog.h"

#include "platform/paths.h"
#include "platform/port_probe.h"
#include "res/resource.h"
#include "update/string_table.h"
#include "update/update_steps.h"

UpdaterDialog::UpdaterDialog(DialogView& view, MessagePump& pump, Host& host, Timing timing)
    : m_view(view), m_host(host), m_renderer(view), m_job(m_renderer, pump, host, timing)
{
}

bool UpdaterDialog::OnInitDialog(const std::string& commandLine)
{
    m_view.SetIcon();

    const bool test = commandLine == "/t" || commandLine == "/T" || commandLine == "-t" || commandLine == "-T";
    m_strMode = test ? "TEST" : "RELEASE";
    m_strTitle = TitleText(m_strMode);
    m_view.SetTitle(m_strTitle);

    const std::string saved = m_host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, PROFILE_DEFAULT_PORT);
    m_options.verify = m_host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_VERIFY, "0") == "1";

    // The list holds the ports that open; the saved one is selected when it does.
    const PortProbe probe = ProbePorts(m_host, saved);
    if (!probe.enumerated)
        m_view.ShowMessage(TXT_ERROR, MessageButtons::Ok);
    int selected = 0;
    for (std::size_t i = 0; i < probe.usable.size(); ++i) {
        if (probe.usable[i] == probe.selected)
            selected = static_cast<int>(i);
    }
    m_view.SetPortList(probe.usable, probe.usable.empty() ? -1 : selected);

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
    return FirmwareBesideProgram(m_host);
}

UpdateRequest UpdaterDialog::RequestFromWindow()
{
    UpdateData(true);
    UpdateRequest request = m_options;
    request.port = m_strPort;
    request.firmwarePath = m_strFirmwarePath;
    request.mode = m_strMode;
    return request;
}

void UpdaterDialog::OnWrite()
{
    m_job.Run(RequestFromWindow());
}

std::string UpdaterDialog::ServiceRecordPath()
{
    return ::ServiceRecordPath(DataFilePathFor(m_options, m_host));
}

std::string UpdaterDialog::OutputConflict(const std::string& what, const std::string& output)
{
    return m_job.OutputConflict(RequestFromWindow(), what, output);
}

void UpdaterDialog::OnCloseButton()
{
    m_job.Stop();
    m_view.EndDialog();
}

void UpdaterDialog::OnDestroy()
{
    UpdateData(true);
    m_host.WriteProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, m_strPort);
    UpdateData(false);
}
