#pragma once
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "dialog/log_renderer.h"
#include "platform/host.h"
#include "update/timing.h"
#include "update/update_job.h"
#include "update/update_request.h"

// The main dialog: what a window does around an update. It keeps the
// title, the port list, the firmware field, the log pane (rendered from the
// update's events), CLOSE and the port saved at exit; WRITE builds the
// update's request from its fields and runs it through its UpdateJob.
// Talks to the window only through DialogView and MessagePump.
class UpdaterDialog {
public:
    UpdaterDialog(DialogView& view, MessagePump& pump, Host& host, Timing timing = Timing());
    UpdaterDialog(DialogWindow& window, Host& host, Timing timing = Timing())
        : UpdaterDialog(window, window, host, timing)
    {
    }

    // ---- events forwarded by the front end (UI thread) ----
    bool OnInitDialog(const std::string& commandLine);
    void OnWrite();
    void OnCloseButton();
    void OnTimer() { m_job.OnTimer(); }
    void OnDestroy();

    // ---- log pane ----
    void ClearLog() { m_renderer.ClearLog(); }
    void AppendLog(const std::string& text, bool newLineFirst) { m_renderer.AppendLog(text, newLineFirst); }
    void ShowTransient(const std::string& text) { m_renderer.ShowTransient(text); }

    std::string GetModuleDirectory();
    std::string FindFirmwareFile();

    // What WRITE asks of the update: the window's port, firmware file and
    // mode over the options.
    UpdateRequest RequestFromWindow();
    // The options every WRITE of this dialog starts from (the windows take
    // VERIFY from the profile; the console sets them from its arguments).
    UpdateRequest& Options() { return m_options; }
    LogRenderer& Renderer() { return m_renderer; }
    UpdateJob& Job() { return m_job; }

    // ---- for front ends ----
    const std::string& Title() const { return m_strTitle; }
    const std::string& Mode() const { return m_strMode; }
    const std::string& Port() const { return m_strPort; }
    const std::string& Log() const { return m_renderer.Log(); }
    const UpdateResult& Result() const { return m_job.Result(); }
    UpdateOutcome LastOutcome() const { return Result().outcome; }
    const std::string& ChannelBackupPath() const { return Result().backupPath; }
    const std::string& OfferedBackupPath() const { return Result().offeredBackup; }
    const std::vector<std::string>& OfferedBackups() const { return Result().offeredBackups; }
    const std::string& LastMessage() const { return Result().lastMessage; }
    const std::string& ServiceRecord() const { return Result().record; }
    const std::string& DataFilePath() const { return Result().dataFilePath; }
    const std::string& FailureDetail() const { return Result().detail; }
    bool StoppedByTechnician() const { return Result().stoppedByTechnician; }
    bool EraseStarted() const { return m_job.EraseStarted(); }
    bool AcceptStopBeforeErase() { return m_job.AcceptStopBeforeErase(); }
    int RetriesSoFar() const { return m_job.RetriesSoFar(); }
    bool IsUpdating() const { return m_job.IsUpdating(); }
    SerialChannel& Serial() { return m_job.Serial(); }
    // Where the service records of this dialog's updates are appended.
    std::string ServiceRecordPath();
    // See UpdateJob::OutputConflict, for the request WRITE would send now.
    std::string OutputConflict(const std::string& what, const std::string& output);

private:
    void UpdateData(bool saveAndValidate);

    DialogView& m_view;
    Host& m_host;
    LogRenderer m_renderer;
    UpdateJob m_job;
    UpdateRequest m_options;

    std::string m_strMode;
    std::string m_strTitle;
    std::string m_strFirmwarePath;
    std::string m_strPort;
};
