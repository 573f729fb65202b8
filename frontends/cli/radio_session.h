#pragma once
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "dialog/message_queue.h"
#include "dialog/updater_dialog.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/radio_events.h"
#include "frontends/cli/trace_file.h"
#include "platform/native_host.h"

class SharedPrompt;

// One radio of a command that updates several: its own port, dialog,
// message queue and thread, its own data file, backup and full log file.
// What it shows becomes events for the table or JSON Lines; a failure here
// never touches the other radios.
class RadioSession : public DialogView, public UpdateEvents {
public:
    struct Paths {
        std::string dataFile;
        std::string logFile;
    };
    // A snapshot for the live table.
    struct Status {
        std::string step;
        int percent = 0;
        int retries = 0;
        std::string result;  // empty while running
    };

    RadioSession(const WriteArgs& args, const std::string& port, const Paths& paths, SharedPrompt& prompt,
                 EventSink& sink);
    ~RadioSession() override;

    void Start();
    void Join();
    // Any thread: acts as CLOSE.
    void Interrupt();
    bool EraseStarted() const { return m_dialog->EraseStarted(); }
    // Any thread: see UpdaterDialog::AcceptStopBeforeErase.
    bool AcceptStopBeforeErase() { return m_dialog->AcceptStopBeforeErase(); }
    // False when the arguments cannot be used for this radio (said on stderr).
    bool Ready() const { return m_ready; }
    Status Snapshot() const;
    int ExitStatus() const { return m_exitStatus; }
    double Seconds() const { return m_seconds; }
    const std::string& Port() const { return m_port; }
    const UpdaterDialog& Dialog() const { return *m_dialog; }

    // DialogView
    void SetTitle(const std::string&) override {}
    void SetIcon(int) override {}
    void SetPortList(const std::vector<std::string>&, int) override {}
    std::string SelectedPort() const override { return m_port; }
    void SelectPort(const std::string&) override {}
    void SetFirmwarePath(const std::string& path) override { m_firmware = path; }
    std::string FirmwarePath() const override { return m_firmware; }
    // The log text and the progress bar are the windows' rendering: a radio
    // of several reports the update's typed events instead.
    void SetLogText(const std::string&, const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void LockControls(bool) override {}
    bool ShowMessage(const std::string& text, bool okCancel) override;
    void EndDialog() override {}

    // UpdateEvents
    void StepStarted(const std::string& step, const std::string& text) override;
    void StepDone(const std::string& step, const std::string& text) override;
    void StepFailed(const std::string& step, const std::string& message, const std::string& reason) override;
    void Progress(const std::string& step, std::uint64_t done, std::uint64_t total, const char* unit) override;

private:
    void Run();
    void Update();
    void Log(const std::string& text);
    void Emit(RadioEvent event);

    const WriteArgs& m_args;
    const std::string m_port;
    SharedPrompt& m_prompt;
    EventSink& m_sink;
    std::string m_firmware;
    std::ofstream m_log;
    TraceFile m_trace;
    bool m_ready = false;
    std::mutex m_logMutex;

    class Host;
    std::unique_ptr<Host> m_host;
    MessageQueue m_queue;
    std::unique_ptr<UpdaterDialog> m_dialog;
    std::thread m_thread;

    const std::chrono::steady_clock::time_point m_begun = std::chrono::steady_clock::now();
    int m_percent = -1;  // of the step in progress, as last reported
    mutable std::mutex m_statusMutex;
    Status m_status;
    std::atomic<int> m_exitStatus{kExitIntact};
    std::atomic<double> m_seconds{0};
};
