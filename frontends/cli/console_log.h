#pragma once
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "dialog/log_pane.h"

// One radio's log in a terminal: the log streamed to stdout as it grows,
// each message and question on a line of its own, the progress bar with
// the time left and the transient counters only on a terminal, notes on
// stderr. Called from the radio's thread, and for notes from any thread.
class ConsoleLog : public LogPane {
public:
    struct Settings {
        bool interactive = false;  // stdout is a terminal: show transient counters
        // stdout and stderr go to the same terminal or file: a note ends the
        // step line in progress, which is written whole again after it.
        bool notesShareOutput = true;
    };

    // Settings for this terminal: transient counters when stdout is one.
    static Settings TerminalSettings();

    ConsoleLog(Settings settings, std::FILE* out);

    // Ends the current output line, if one is open.
    void FinishOutput();
    // A note for the technician on stderr.
    void PrintNote(const std::string& text);
    // A text on a line of its own (a question, whose answer is read elsewhere).
    void PrintText(const std::string& text);

    void SetLogText(const std::string& log, const std::string& transient) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void LockControls(bool) override {}
    // Prints the text; questions are asked by the prompt, so this answers OK
    // only for an OK box.
    bool ShowMessage(const std::string& text, MessageButtons buttons) override;

private:
    // With m_mutex held.
    void Emit(const std::string& text);
    void EraseTransient();
    void ShowTransientText();
    void EndLine();

    const Settings m_settings;
    std::FILE* const m_out;
    std::mutex m_mutex;

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
