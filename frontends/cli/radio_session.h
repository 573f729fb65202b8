#pragma once
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "update/message_queue.h"
#include "update/update_job.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/radio_events.h"
#include "frontends/cli/trace_file.h"
#include "platform/native_host.h"

class SharedPrompt;

// One radio of a command that updates several (or one, as JSON Lines): its
// own port, update job, message queue and thread, its own data file, backup
// and full log file. The job's events become events for the table or JSON
// Lines; a failure here never touches the other radios.
class RadioSession : public UpdateEvents {
public:
    struct Paths {
        std::string dataFile;
        std::string logFile;
        std::string position;  // a station's bench position: one of several radios
        std::string adapterIdentity;  // the station's adapter
        std::string fileTag;          // what names the position's backups
    };
    // A snapshot for the live table.
    struct Status {
        std::string step;
        int percent = 0;
        int retries = 0;
        std::string result;  // empty while running
        double seconds = 0;  // since the update began
    };

    RadioSession(const WriteArgs& args, const std::string& port, const Paths& paths, SharedPrompt& prompt,
                 EventSink& sink);
    ~RadioSession() override;

    void Start();
    void Join();
    // Any thread: acts as CLOSE; before the update has begun, it never begins.
    void Interrupt();
    bool EraseStarted() const { return m_job->EraseStarted(); }
    // Any thread: see UpdateJob::AcceptStop.
    bool AcceptStop(bool insist) { return m_job->AcceptStop(insist); }
    // False when the arguments cannot be used for this radio (said on stderr).
    bool Ready() const { return m_ready; }
    Status Snapshot() const;
    int ExitStatus() const { return m_exitStatus; }
    // True once the update has ended and its last event is out.
    bool Ended() const { return m_finished; }
    double Seconds() const { return m_seconds; }
    const std::string& Port() const { return m_port; }
    // What the update is asked: the arguments made one request.
    const UpdateRequest& Request() const { return m_request; }
    // What the update left (once joined).
    const UpdateResult& Result() const { return m_job->Result(); }
    // UpdateEvents
    void UpdateStarted(const std::string& text) override;
    void StepStarted(StepId step, const std::string& text) override;
    void StepDone(StepId step, const std::string& text, StepEnd end) override;
    void StepFailed(StepId step, const std::string& message, const std::string& reason) override;
    void Progress(StepId step, std::uint64_t done, std::uint64_t total, const char* unit) override;
    void Transient(const std::string& text) override;
    void Note(const std::string& text) override;
    bool Ask(const std::string& prompt, bool cancelByDefault) override;
    bool AskReason(const std::string& prompt, std::string& reason) override;
    void Message(const std::string& text) override;

private:
    void Run();
    void Update();
    void Log(const std::string& text);
    void Emit(RadioEvent event);

    const WriteArgs& m_args;
    const std::string m_port;
    const std::string m_position;
    SharedPrompt& m_prompt;
    EventSink& m_sink;
    UpdateRequest m_request;
    std::ofstream m_log;
    TraceFile m_trace;
    bool m_ready = false;
    std::mutex m_logMutex;

    class Host;
    std::unique_ptr<Host> m_host;
    MessageQueue m_queue;
    std::unique_ptr<UpdateJob> m_job;
    std::thread m_thread;

    const std::chrono::steady_clock::time_point m_begun = std::chrono::steady_clock::now();
    int m_percent = -1;  // of the step in progress, as last reported
    mutable std::mutex m_statusMutex;
    Status m_status;
    std::atomic<int> m_exitStatus{kExitIntact};
    std::atomic<double> m_seconds{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_interrupted{false};
};
