// The WRITE procedure: every step in order, one log line each, and one
// tear-down on every way out.
#include "update/update_job.h"

#include <exception>
#include <functional>

#include "res/resource.h"
#include "update/exchange.h"
#include "update/output_guard.h"
#include "update/string_table.h"
#include "update/update_steps.h"

namespace {

bool ConnectAndStartBootProgram(UpdateContext& u)
{
    return ConnectRadio(u) && StartBootProgram(u);
}

bool PauseAndConvertFirmware(UpdateContext& u)
{
    u.m_link.Pause();
    return ConvertFirmware(u) && FirmwareStillApproved(u);
}

// Channel data from a backup (named by the technician or accepted when
// offered) replace the radio's: said before the erase.
bool ReportWrittenBackChannelData(UpdateContext& u)
{
    if (!u.m_writtenBackFrom.empty())
        u.m_events.ChannelDataWrittenBack(u.m_writtenBackFrom);
    return true;
}

// After the last block: late bytes or retries anywhere in the write make the
// check a whole block time-out long; a clean write needs only a short listen.
bool LineStaysQuiet(UpdateContext& u)
{
    std::string detail;
    const int late = u.m_link.TakeLateBytes();
    int retries = 0;
    for (const auto& [step, n] : u.m_stepRetries)
        retries += step == StepName(StepId::Write) ? n : 0;
    if (late > 0 || retries > 0)
        u.Note("the write " + std::string(late > 0 ? "saw bytes no exchange awaited" : "retried blocks") +
               "; the line is listened to for a whole block time-out after the last block");
    if (u.m_link.LineStaysQuiet(late > 0 || retries > 0, detail))
        return true;
    u.SetDetail(detail);
    return false;
}

// The tear-down's own writes must not end the program: what escapes one is a note.
void Guarded(UpdateContext& u, const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        u.Note(std::string("internal error: ") + e.what());
    }
}

}  // namespace

// One step of the procedure: its id, its log line, what it runs, the
// message shown when it fails (0: none of the procedure's own), the mark
// its line gets when it succeeds.
struct UpdateJob::ProcedureStep {
    StepId id;
    unsigned logLine;  // 0: the step has no line of its own
    bool (*run)(UpdateContext&);
    unsigned failMessage;
    bool endsStep;  // the last part of its step: the step is done
};

UpdateJob::UpdateJob(UpdateEvents& events, MessagePump& pump, Host& host, Timing timing)
    : m_events(events), m_host(host), m_link(pump, [&host] { return host.MakePortBackend(); }, timing),
      m_context(m_link, events, host)
{
    m_link.Serial().SetClosedPortReporter([this] { m_events.Message(TXT_NOT_OPEN_PORT); });
}

const UpdateResult& UpdateJob::Run(const UpdateRequest& request)
{
    m_context.Begin(request);
    m_link.Start();
    m_events.UpdateStarted(LoadStringResource(IDS_WAIT_POWER));
    bool done = false;
    try {
        done = RunProcedure();
    } catch (const std::exception& e) {
        // Whatever escapes a step is a failure with its reason: the port is
        // closed and the radio's state reported like any other failure.
        m_context.SetDetail(std::string("internal error: ") + e.what());
        m_context.FailureMessage(LoadStringResource(EraseStarted() ? IDS_FIRM_WRITE_ERROR : IDS_CANT_CREATE_FILE));
    }
    EndUpdate(done);
    return m_context.m_result;
}

void UpdateJob::Stop()
{
    if (m_context.m_bUpdating == 1) {
        m_link.Stop();
        m_context.m_result.stoppedByTechnician = true;
    }
    m_link.Serial().Close();
}

bool UpdateJob::RunProcedure()
{
    static const ProcedureStep kSteps[] = {
        {StepId::Connect, IDS_RADIO_CONNECTION, &ConnectRadio, 0, true},
        {StepId::Boot, IDS_BOOT_SENDING, &UploadBootProgram, IDS_BOOT_SEND_ERROR, true},
        {StepId::Start, IDS_BOOT_START, &ConnectAndStartBootProgram, 0, true},
        {StepId::Protect, 0, &QueryDataProtect, IDS_DATA_PROTECT_ERROR, false},
        {StepId::Convert, IDS_FIRMWARE_CONVERT, &PauseAndConvertFirmware, IDS_CANT_CREATE_FILE, true},
        {StepId::Read, IDS_DATA_LOADING, &ReadChannelData, IDS_CHANNEL_READ_ERROR, false},
        {StepId::Read, 0, &ResolveChannelData, 0, false},
        // What the radio held is kept before other channel data replace it;
        // the channel data written are kept in a backup of their own, and
        // the update in the journals, before anything is erased, so that a
        // failed write (or a killed program) cannot lose the radio's
        // programming. A backup that cannot be written is a file that cannot
        // be created, not a read error.
        {StepId::Read, 0, &SaveReplacedChannelArea, IDS_CANT_CREATE_FILE, false},
        {StepId::Read, 0, &SaveChannelBackup, IDS_CANT_CREATE_FILE, false},
        {StepId::Read, 0, &RecordUnfinishedUpdate, IDS_CANT_CREATE_FILE, true},
        {StepId::Read, 0, &ReportWrittenBackChannelData, 0, false},
        {StepId::Clear, IDS_ROM_CLEAR, &ClearRom, IDS_ROM_CLEAR_ERROR, true},
        {StepId::Write, IDS_FIRMWARE_WRITE, &WriteFirmware, IDS_FIRM_WRITE_ERROR, false},
        {StepId::Write, 0, &LineStaysQuiet, IDS_FIRM_WRITE_ERROR, false},
        {StepId::Write, 0, &CheckBlocksInDoubt, IDS_FIRM_WRITE_ERROR, true},
        // Only when asked for: the firmware area read back and compared.
        {StepId::Verify, 0, &VerifyFirmware, IDS_FIRM_WRITE_ERROR, false},
    };
    // The inputs are read before the port opens: a missing or damaged file
    // fails at once, before the technician has powered the radio.
    if (!CheckBootProgram(m_context))
        return Fail(IDS_BOOT_SEND_ERROR);
    if (!CheckFirmwareFile(m_context) || !CheckOutputs(m_context))
        return Fail(IDS_CANT_CREATE_FILE);
    if (!CheckApprovedFirmware(m_context))
        return Fail(0);  // its own message box says why
    m_context.m_step = StepId::Power;
    m_context.StepStarted(LoadStringResource(IDS_WAIT_POWER));
    if (!OpenPortAndAskForPower())
        return false;
    m_context.StepDone();
    m_context.m_radioBusy = true;
    m_events.RadioBusy(true);
    if (!CreateDataFile(m_context))
        return Fail(IDS_CANT_CREATE_FILE);
    for (const ProcedureStep& step : kSteps) {
        if (!RunStep(step))
            return false;
    }
    return true;
}

bool UpdateJob::OpenPortAndAskForPower()
{
    const std::string& port = m_context.m_request.port;
    if (!m_link.Serial().Open(port)) {
        m_context.SetDetail(port.empty() ? "no port selected" : m_link.Serial().LastOpenError());
        return Fail(IDS_CANT_OPEN_PORT);
    }
    m_context.m_bUpdating = 1;
    // A USB adapter that holds the radio's answers for its latency timer
    // makes the update slower: the technician learns how to lower it.
    const std::string advice = m_link.Serial().LatencyAdvice();
    if (!advice.empty())
        m_context.Note(advice);
    if (m_context.Ask(LoadStringResource(IDS_POWER_SUPPLY)))
        return true;
    m_context.Note("Cancelled: the radio is unchanged");
    m_events.StepFailed(m_context.m_step, std::string(), "cancelled at \"" STR_POWER_SUPPLY "\"");
    return false;
}

bool UpdateJob::RunStep(const ProcedureStep& step)
{
    m_context.m_step = step.id;
    if (step.logLine != 0)
        m_context.StepStarted(LoadStringResource(step.logLine));
    if (!step.run(m_context)) {
        // The technician's stop before the erase is no step's error: it is
        // headlined as what it is, without the step's message box.
        if (m_context.m_result.stoppedByTechnician && !EraseStarted()) {
            m_context.Note("Stopped by the technician: the radio is unchanged");
            m_events.StepFailed(m_context.m_step, std::string(), "stopped by the technician");
            return false;
        }
        return Fail(step.failMessage);
    }
    if (step.endsStep)
        m_context.StepDone();
    return true;
}

bool UpdateJob::Fail(unsigned messageId)
{
    if (messageId != 0)
        m_context.FailureMessage(LoadStringResource(messageId));
    // A step whose own wait showed its message ("Time out") names that one.
    m_events.StepFailed(m_context.m_step, m_context.m_result.lastMessage, m_context.m_result.detail);
    return false;
}

// The port and the window are given back on every way out; after a success
// "Done." is shown before the data file is closed, so that the technician
// sees the whole log with it.
void UpdateJob::EndUpdate(bool done)
{
    UpdateContext& u = m_context;
    u.MarkEnded();
    if (!done)
        u.ReportFailure();
    u.m_bUpdating = 0;
    m_link.Stop();
    m_link.Serial().Close();
    if (u.m_radioBusy) {
        u.m_radioBusy = false;
        m_events.RadioBusy(false);
    }
    // While the data file is still held: nobody takes this entry for one
    // left behind in between.
    Guarded(u, [&u, done] { CloseJournalEntries(u, done); });
    u.m_backupHold.Release();
    if (done) {
        u.m_result.outcome = UpdateOutcome::Done;
        u.Message(LoadStringResource(IDS_DONE));
    } else {
        u.m_result.outcome = EraseStarted()               ? UpdateOutcome::FailedAfterErase
                             : u.m_result.channelDataLost ? UpdateOutcome::ChannelDataLost
                                                          : UpdateOutcome::FailedIntact;
    }
    u.m_hDataFile.Close();
    Guarded(u, [&u] { AppendServiceRecord(u); });
    m_events.Finished(u.m_result);
}

std::string UpdateJob::OutputConflict(const UpdateRequest& request, const std::string& what, const std::string& output)
{
    UpdateContext probe(m_link, m_events, m_host);
    probe.Begin(request);
    std::vector<GuardedFile> files = GuardedInputs(probe, probe.m_dataFilePath);
    files.push_back({"the data file", probe.m_dataFilePath});
    return ::OutputConflict(what, output, files);
}

std::string FirmwareBesideProgram(Host& host)
{
    const std::string dir = host.FirmwareFolder();
    const std::string name = host.FirstFileWithExtension(dir, ".002");
    return name.empty() ? std::string() : dir + name;
}
