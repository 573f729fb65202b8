#include "frontends/cli/radio_session.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "frontends/cli/restore_command.h"
#include "frontends/cli/shared_prompt.h"
#include "frontends/cli/write_options.h"
#include "res/resource.h"
#include "update/iso_time.h"

// The radio's one port is the only one probed.
class RadioSession::Host : public NativeHost {
public:
    explicit Host(std::string port) : m_port(std::move(port)) {}
    bool EnumeratePorts(std::vector<std::string>& names) override
    {
        names = {m_port};
        return true;
    }

private:
    std::string m_port;
};

RadioSession::RadioSession(const WriteArgs& args, const std::string& port, const Paths& paths, SharedPrompt& prompt,
                           EventSink& sink)
    : m_args(args), m_port(port), m_position(paths.position), m_prompt(prompt), m_sink(sink), m_host(std::make_unique<Host>(port)),
      m_queue([this] { m_job->OnTimer(); })
{
    m_job = std::make_unique<UpdateJob>(*this, m_queue, *m_host);
    // The log of each update is added to the port's earlier ones: a failed
    // update's log stays for the technician to read.
    // (One radio in a terminal keeps none: its log is on the screen.)
    if (!paths.logFile.empty()) {
        m_log.open(std::filesystem::u8path(paths.logFile), std::ios::app);
        m_log << "==== vokta4-cli " STR_VERSION ", " << port << ", update started " << IsoUtc(std::time(nullptr))
              << " ====\n";
        m_log.flush();
    }
    const bool several = args.allPorts || args.ports.size() > 1 || !paths.position.empty();
    m_ready = ApplyWriteArgs(args, several, paths.dataFile, m_request);
    m_request.port = port;
    m_request.position = paths.position;
    m_request.adapterIdentity = paths.adapterIdentity;
    m_request.fileTag = paths.fileTag;
    m_request.mode = args.test ? "TEST" : "RELEASE";
    m_request.firmwarePath = args.firmware.empty() ? FirmwareBesideProgram(*m_host) : args.firmware;
}

RadioSession::~RadioSession()
{
    Join();
}

void RadioSession::Start()
{
    m_thread = std::thread(&RadioSession::Run, this);
}

void RadioSession::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void RadioSession::Interrupt()
{
    m_interrupted = true;
    m_queue.Post([this] { m_job->Stop(); });
}

// A radio's thread: whatever escapes the update is this radio's failure,
// never the end of the others'.
void RadioSession::Run()
{
    try {
        Update();
    } catch (const std::exception& e) {
        m_exitStatus = m_job->EraseStarted() ? kExitAfterErase : kExitIntact;
        Note(std::string("internal error: ") + e.what());
        {
            std::lock_guard<std::mutex> lock(m_statusMutex);
            m_status.result = m_exitStatus == kExitAfterErase ? "FAILED, needs another update (internal error)"
                                                              : "failed, unchanged (internal error)";
        }
        RadioEvent done{RadioEvent::Kind::Finished, m_port, e.what()};
        done.exitStatus = m_exitStatus;
        Emit(done);
    }
    m_finished = true;
}

void RadioSession::Update()
{
    const auto start = std::chrono::steady_clock::now();
    // A --trace that cannot be written leaves the radio untouched, and so
    // does a stop that came before the update began.
    if (m_interrupted)
        Note("Stopped by the technician: the radio is unchanged");
    else if (AttachTrace(m_args, m_trace, *m_job, m_request))
        m_job->Run(m_request);
    const UpdateResult& result = m_job->Result();

    RadioEvent done{RadioEvent::Kind::Finished, m_port};
    m_exitStatus = ExitStatusOf(result.outcome);
    // After the erase: the radio's own backup; a radio left unchanged because
    // an earlier update did not finish: the backup offered for it.
    const std::string backup = result.outcome == UpdateOutcome::FailedAfterErase  ? result.backupPath
                               : result.outcome == UpdateOutcome::ChannelDataLost ? result.offeredBackup
                                                                                  : std::string();
    if (!backup.empty()) {
        WriteArgs own = m_args;
        own.dataFile = result.dataFilePath;
        // A station's radio is named by its adapter: the command still finds
        // it after the adapter is plugged back under another port name.
        const std::string port = m_request.adapterIdentity.empty() ? m_port : m_request.adapterIdentity;
        done.restoreCommand = RestoreCommand(own, m_host->ModuleFileName(), port, m_request.firmwarePath, backup);
    }
    done.exitStatus = m_exitStatus;
    m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done.record = result.record;
    if (!done.restoreCommand.empty())
        Log("vokta4-cli: update it again, with its channel data, by:\n  " + done.restoreCommand);
    {
        std::lock_guard<std::mutex> lock(m_statusMutex);
        const bool stopped = m_exitStatus != kExitDone && (result.stoppedByTechnician || m_interrupted);
        if (m_exitStatus == kExitDone)
            m_status.percent = 100;
        m_status.result = m_exitStatus == kExitDone        ? "Done."
                          : result.outcome == UpdateOutcome::ChannelDataLost ? "REFUSED, channel data look lost"
                          : m_exitStatus == kExitAfterErase ? (stopped ? "STOPPED by the technician, needs another update"
                                                                       : "FAILED, needs another update")
                          : stopped                         ? "stopped by the technician, unchanged"
                                                            : "failed, unchanged";
        if (m_exitStatus != kExitDone && !stopped && !result.lastMessage.empty())
            m_status.result += " (" + result.lastMessage + ")";
    }
    Emit(done);
}

// Each line of the log file with the seconds since the update began.
void RadioSession::Log(const std::string& text)
{
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_begun).count();
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%9.3f  ", t);
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_log << stamp << text << '\n';
    m_log.flush();
}

void RadioSession::Emit(RadioEvent event)
{
    event.position = m_position;
    m_sink.Event(event);
}

void RadioSession::UpdateStarted(const std::string& text)
{
    Emit(RadioEvent{RadioEvent::Kind::UpdateStarted, m_port, text});
}

// The radio's log file gets each step's line once, when the step ends.
void RadioSession::StepStarted(StepId step, const std::string& text)
{
    RadioEvent e{RadioEvent::Kind::StepStarted, m_port, text};
    e.step = step;
    Emit(e);
    m_percent = -1;
    std::lock_guard<std::mutex> lock(m_statusMutex);
    m_status.step = text;
}

void RadioSession::StepDone(StepId step, const std::string& text, StepEnd end)
{
    Log(text + (end == StepEnd::Done ? " ......OK" : " ......not possible"));
    RadioEvent e{RadioEvent::Kind::StepDone, m_port, text};
    e.step = step;
    e.end = end;
    Emit(e);
}

void RadioSession::StepFailed(StepId step, const std::string& message, const std::string& reason)
{
    {
        // The row says it at once; the update's end gives the final words.
        std::lock_guard<std::mutex> lock(m_statusMutex);
        if (m_status.result.empty())
            m_status.result = "failed: " + (message.empty() ? reason : message);
    }
    RadioEvent e{RadioEvent::Kind::StepFailed, m_port, message};
    e.step = step;
    e.reason = reason;
    Emit(e);
}

void RadioSession::Progress(StepId step, std::uint64_t done, std::uint64_t total, const char* unit)
{
    const int percent = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
    {
        std::lock_guard<std::mutex> lock(m_statusMutex);
        m_status.percent = percent;
        m_status.retries = m_job->RetriesSoFar();
    }
    if (percent == m_percent)
        return;
    m_percent = percent;
    RadioEvent e{RadioEvent::Kind::Progress, m_port};
    e.step = step;
    e.percent = percent;
    e.done = done;
    e.total = total;
    e.unit = unit;
    Emit(e);
}

void RadioSession::Transient(const std::string& text)
{
    Emit(RadioEvent{RadioEvent::Kind::Transient, m_port, text});
}

void RadioSession::Note(const std::string& text)
{
    Log("vokta4-cli: " + text);
    Emit(RadioEvent{RadioEvent::Kind::Note, m_port, text});
}

void RadioSession::Message(const std::string& text)
{
    Log(text);
    Emit(RadioEvent{RadioEvent::Kind::Message, m_port, text});
}

bool RadioSession::Ask(const std::string& prompt, bool cancelByDefault)
{
    Log(prompt);
    const bool ok = m_prompt.Ask(m_port, prompt, cancelByDefault);
    Log(ok ? "(OK)" : "(Cancel)");
    return ok;
}

bool RadioSession::AskReason(const std::string& prompt, std::string& reason)
{
    Log(prompt);
    const bool ok = m_prompt.AskReason(m_port, prompt, reason);
    Log(ok ? "(OK: " + reason + ")" : "(Cancel)");
    return ok;
}

RadioSession::Status RadioSession::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_statusMutex);
    Status s = m_status;
    s.retries = m_job->RetriesSoFar();
    s.seconds = m_finished ? m_seconds.load()
                           : std::chrono::duration<double>(std::chrono::steady_clock::now() - m_begun).count();
    return s;
}
