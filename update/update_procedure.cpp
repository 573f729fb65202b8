// The WRITE procedure: every step in order, one log line each, and one
// tear-down on every way out.
#include <ctime>
#include <exception>

#include "dialog/string_table.h"
#include "dialog/updater_dialog.h"
#include "res/resource.h"

// One step of the procedure: its name in the service record, its log line,
// what it runs, the message shown when it fails (0: none of the procedure's
// own), the suffix when it succeeds.
struct UpdaterDialog::ProcedureStep {
    const char* name;
    unsigned logLine;  // 0: the step has no line of its own
    bool (UpdaterDialog::*run)();
    unsigned failMessage;
    unsigned okSuffix;  // 0: none
};

// The data file's path was set, and checked against the inputs, by CheckOutputs.
bool UpdaterDialog::CreateDataFile()
{
    std::string error;
    if (!m_hDataFile.Create(m_strDataFilePath, error)) {
        SetDetail(error);
        return false;
    }
    return true;
}

void UpdaterDialog::OnWrite()
{
    BeginUpdate();
    bool done = false;
    try {
        done = RunProcedure();
    } catch (const std::exception& e) {
        // Whatever escapes a step is a failure with its reason: the port is
        // closed and the radio's state reported like any other failure.
        SetDetail(std::string("internal error: ") + e.what());
        FailureMessage(LoadStringResource(EraseStarted() ? IDS_FIRM_WRITE_ERROR : IDS_CANT_CREATE_FILE));
    }
    EndUpdate(done);
}

void UpdaterDialog::BeginUpdate()
{
    ClearLog();
    m_bRun = 1;
    m_stopState = StopState::Running;
    m_stoppedByTechnician = false;
    m_nStrayBytes = 0;
    m_outcome = UpdateOutcome::FailedIntact;
    m_strDetail.clear();
    m_strBackupPath.clear();
    m_strOfferedBackup.clear();
    m_offeredBackups.clear();
    m_journalEntry.clear();
    m_strLastMessage.clear();
    m_failureReported = false;
    m_strWrittenBackFrom.clear();
    m_channelDataRead = false;
    m_strStep = "prepare";
    m_stepAttempts.clear();
    m_stepRetries.clear();
    m_nRetries = 0;
    m_strVerified.clear();
    m_firmwareSha256.clear();
    m_strRecord.clear();
    m_startedUtc = static_cast<std::int64_t>(std::time(nullptr));
    m_startedNanos = SteadyNanos();
    m_strDataFilePath = ChosenDataFilePath();
    m_incompleteAccepted = false;
}

std::string UpdaterDialog::ChosenDataFilePath()
{
    return m_options.dataFilePath.empty() ? m_host.DataFolder() + "vokt.tmp" : m_options.dataFilePath;
}

bool UpdaterDialog::RunProcedure()
{
    static const ProcedureStep kSteps[] = {
        {"connect", IDS_RADIO_CONNECTION, &UpdaterDialog::ConnectRadio, 0, IDS_OK_3TABS},
        {"boot", IDS_BOOT_SENDING, &UpdaterDialog::UploadBootProgram, IDS_BOOT_SEND_ERROR, IDS_OK_2TABS},
        {"start", IDS_BOOT_START, &UpdaterDialog::ConnectAndStartBootProgram, 0, IDS_OK_3TABS},
        {"protect", 0, &UpdaterDialog::QueryDataProtect, IDS_DATA_PROTECT_ERROR, 0},
        {"convert", IDS_FIRMWARE_CONVERT, &UpdaterDialog::PauseAndConvertFirmware, IDS_CANT_CREATE_FILE, IDS_OK_1TAB},
        {"read", IDS_DATA_LOADING, &UpdaterDialog::ReadChannelData, IDS_CHANNEL_READ_ERROR, 0},
        {"read", 0, &UpdaterDialog::ResolveUnfinishedUpdates, 0, 0},
        // The channel data is kept in a backup of its own, and the update in
        // the journal, before anything is erased, so that a failed write (or
        // a killed program) cannot lose the radio's programming. A backup
        // that cannot be written is a file that cannot be created, not a
        // read error.
        {"read", 0, &UpdaterDialog::SaveChannelBackup, IDS_CANT_CREATE_FILE, 0},
        {"read", 0, &UpdaterDialog::RecordUnfinishedUpdate, IDS_CHANNEL_READ_ERROR, IDS_OK_3TABS},
        {"read", 0, &UpdaterDialog::ReportWrittenBackChannelData, 0, 0},
        {"clear", IDS_ROM_CLEAR, &UpdaterDialog::ClearRom, IDS_ROM_CLEAR_ERROR, IDS_OK_3TABS},
        {"write", IDS_FIRMWARE_WRITE, &UpdaterDialog::WriteFirmware, IDS_FIRM_WRITE_ERROR, 0},
        {"write", 0, &UpdaterDialog::LineStaysQuiet, IDS_FIRM_WRITE_ERROR, IDS_OK_3TABS},
        // Only when asked for: the firmware area read back and compared.
        {"verify", 0, &UpdaterDialog::VerifyFirmware, IDS_FIRM_WRITE_ERROR, 0},
    };
    UpdateData(true);
    AppendLog(LoadStringResource(IDS_WAIT_POWER), false);
    // The inputs are read before the port opens: a missing or damaged file
    // fails at once, before the technician has powered the radio.
    if (!CheckBootProgram())
        return Fail(IDS_BOOT_SEND_ERROR);
    if (!CheckFirmwareFile() || !CheckOutputs())
        return Fail(IDS_CANT_CREATE_FILE);
    m_strStep = "power";
    StepStarted(LoadStringResource(IDS_WAIT_POWER));
    if (!OpenPortAndAskForPower())
        return false;
    AppendLog(LoadStringResource(IDS_OK_2TABS), false);
    StepDone();
    LockControls(true);
    if (!CreateDataFile())
        return Fail(IDS_CANT_CREATE_FILE);
    for (const ProcedureStep& step : kSteps) {
        if (!RunStep(step))
            return false;
    }
    return true;
}

bool UpdaterDialog::OpenPortAndAskForPower()
{
    if (!m_pSerial->Open(m_strPort)) {
        SetDetail(m_strPort.empty() ? "no port selected" : m_pSerial->LastOpenError());
        return Fail(IDS_CANT_OPEN_PORT);
    }
    UpdateData(false);
    m_bUpdating = 1;
    if (m_view.ShowMessage(LoadStringResource(IDS_POWER_SUPPLY), true))
        return true;
    if (m_options.events)
        m_options.events->StepFailed(m_strStep, std::string(), "cancelled at \"" STR_POWER_SUPPLY "\"");
    return false;
}

bool UpdaterDialog::RunStep(const ProcedureStep& step)
{
    m_strStep = step.name;
    if (step.logLine != 0) {
        AppendLog(LoadStringResource(step.logLine), true);
        StepStarted(LoadStringResource(step.logLine));
    }
    if (!(this->*step.run)())
        return Fail(step.failMessage);
    if (step.okSuffix != 0) {
        AppendLog(LoadStringResource(step.okSuffix), false);
        StepDone();
    }
    return true;
}

bool UpdaterDialog::Fail(unsigned messageId)
{
    if (messageId != 0)
        FailureMessage(LoadStringResource(messageId));
    // A step whose own wait showed its message ("Time out") names that one.
    if (m_options.events)
        m_options.events->StepFailed(m_strStep, m_strLastMessage, m_strDetail);
    return false;
}

void UpdaterDialog::StepStarted(const std::string& text)
{
    m_stepText = text;
    if (m_options.events)
        m_options.events->StepStarted(m_strStep, text);
}

void UpdaterDialog::StepDone()
{
    if (m_options.events)
        m_options.events->StepDone(m_strStep, m_stepText);
}

void UpdaterDialog::Progress(std::uint64_t done, std::uint64_t total, const char* unit)
{
    if (m_options.events)
        m_options.events->Progress(m_strStep, done, total, unit);
}

// A message box that ends the update: the reason is in the log before the
// box hides the window.
void UpdaterDialog::FailureMessage(const std::string& text)
{
    ReportFailureInLog();
    Message(text);
}

// The one tear-down: the port and the window are given back on every way
// out; after a success "Done." is shown before the data file is closed and
// the log cleared, so that the user sees the whole log with it.
void UpdaterDialog::EndUpdate(bool done)
{
    if (!done)
        ReportFailureInLog();
    m_bUpdating = 0;
    m_bRun = 0;
    m_pSerial->Close();
    if (m_bLocked)
        LockControls(false);
    // While the data file is still held: nobody takes this entry for one
    // left behind in between.
    Guarded([this, done] { CloseJournalEntries(done); });
    if (done) {
        m_outcome = UpdateOutcome::Done;
        Message(LoadStringResource(IDS_DONE));
    } else {
        m_outcome = EraseStarted() ? UpdateOutcome::FailedAfterErase : UpdateOutcome::FailedIntact;
    }
    m_hDataFile.Close();
    if (done) {
        ClearLog();
        m_view.SetProgressPos(0);
    }
    Guarded([this] { AppendServiceRecord(); });
}

// The tear-down's own writes must not end the program: what escapes one is a note.
void UpdaterDialog::Guarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        Note(std::string("internal error: ") + e.what());
    }
}

// In the windows the log pane is the technician's only record: it gets the
// reason, and after a failure past the erase, what to do. Once per update:
// before the failure's message box, or at the end of a failure without one.
void UpdaterDialog::ReportFailureInLog()
{
    if (!m_options.reasonsInLog || m_failureReported)
        return;
    m_failureReported = true;
    if (!m_strDetail.empty())
        AppendLog(m_strDetail, true);
    if (EraseStarted()) {
        AppendLog("The radio's flash is erased: it needs another update. Press WRITE again; "
                  "its channel data, saved in " +
                      m_strBackupPath + ", are offered for writing back.",
                  true);
    }
}

// Channel data from a backup (named by the technician or accepted when
// offered) replace the radio's: the log says so before the erase.
bool UpdaterDialog::ReportWrittenBackChannelData()
{
    if (m_options.reasonsInLog && !m_strWrittenBackFrom.empty())
        AppendLog("The channel data saved in " + m_strWrittenBackFrom + " are written back.", true);
    return true;
}

bool UpdaterDialog::ConnectAndStartBootProgram()
{
    return ConnectRadio() && StartBootProgram();
}

bool UpdaterDialog::PauseAndConvertFirmware()
{
    Pause();
    return ConvertFirmware();
}
