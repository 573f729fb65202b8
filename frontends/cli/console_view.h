#pragma once
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "update/message_queue.h"

class PromptInput;
class UpdaterDialog;

// The dialog in a terminal: the log streamed to stdout as it grows, each
// message box's text on a line of its own, OK/Cancel answered on stdin (or
// by --yes), transient counters only on a terminal, Ctrl-C as CLOSE.
class ConsoleView : public DialogView {
public:
    struct Settings {
        bool assumeYes = false;  // answer OK to OK/Cancel prompts
        bool interactive = false;  // stdout is a terminal: show transient counters
        int answerFd = 0;          // where OK/Cancel answers are read
        // stdout and stderr go to the same terminal or file: a note ends the
        // step line in progress, which is written whole again after it.
        bool notesShareOutput = true;
    };

    // Settings for this terminal: transient counters when stdout is one,
    // answers read on stdin.
    static Settings TerminalSettings(bool assumeYes);

    ConsoleView(Settings settings, std::FILE* out);
    ~ConsoleView() override;

    void SetDialog(UpdaterDialog* dialog) { m_dialog = dialog; }
    // Where the dialog waits: a message queue, posted to by Interrupt().
    MessagePump& Pump() { return m_queue; }
    // With a forced port, SelectedPort() always names it.
    void ForcePort(const std::string& name) { m_forcedPort = name; }
    const std::vector<std::string>& Ports() const { return m_ports; }
    // Any thread (the signal thread): acts as CLOSE and cancels a prompt.
    void Interrupt();
    bool Interrupted() const { return m_interrupted; }
    // Ends the current output line, if one is open.
    void FinishOutput();
    // A note for the technician on stderr, now (UI thread) or from any thread
    // through the message queue.
    void PrintNote(const std::string& text);
    void PostNote(const std::string& text);

    void SetTitle(const std::string& text) override { m_title = text; }
    void SetIcon() override {}
    void SetPortList(const std::vector<std::string>& ports, int selected) override;
    std::string SelectedPort() const override;
    void SelectPort(const std::string& name) override;
    void SetFirmwarePath(const std::string& path) override { m_firmware = path; }
    std::string FirmwarePath() const override { return m_firmware; }
    void SetLogText(const std::string& log, const std::string& transient) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void LockControls(bool) override {}
    bool ShowMessage(const std::string& text, MessageButtons buttons) override;
    bool AskReason(const std::string& prompt, std::string& reason) override;
    void EndDialog() override { m_ended = true; }

    const std::string& Title() const { return m_title; }
    bool Ended() const { return m_ended; }

private:
    void Emit(const std::string& text);
    void EraseTransient();
    void ShowTransientText();
    bool AskOkCancel(bool cancelByDefault);

    const Settings m_settings;
    std::FILE* const m_out;
    UpdaterDialog* m_dialog = nullptr;
    MessageQueue m_queue;
    std::unique_ptr<PromptInput> m_input;
    std::atomic<bool> m_interrupted{false};

    std::string m_title;
    std::vector<std::string> m_ports;
    int m_selected = -1;
    std::string m_forcedPort;
    std::string m_firmware;
    bool m_ended = false;

    // Log streaming: what of the log has been written, the text of the
    // current line, whether that line is still the last thing on screen.
    std::string m_printed;
    std::string m_line;
    bool m_lineOnScreen = true;
    std::string m_transient;
    bool m_transientShown = false;
    int m_progressLow = 0, m_progressHigh = 100, m_progressPos = 0;
    std::chrono::steady_clock::time_point m_progressBegun = std::chrono::steady_clock::now();
};
