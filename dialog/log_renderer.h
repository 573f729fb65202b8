#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "dialog/log_pane.h"
#include "update/update_events.h"

// Renders an update's events as the window shows them: the log pane's text
// (each step's line, its "......OK" mark, the text behind it), the progress
// bar, the message boxes and the lock of the controls. The Qt and Win32
// windows and the console share it, so their logs read alike.
class LogRenderer : public UpdateEvents {
public:
    explicit LogRenderer(LogPane& view) : m_view(view) {}

    // The reason behind a failure becomes a log line before its message box,
    // and channel data written back from a backup get a line of their own
    // (the windows); the console prints reasons on stderr instead.
    bool reasonsInLog = true;
    // Receives the update's notes as they happen (may be null).
    std::function<void(const std::string&)> onNote;

    const std::string& Log() const { return m_strLog; }
    void ClearLog();
    void AppendLog(const std::string& text, bool newLineFirst);
    void ShowTransient(const std::string& text);

    // UpdateEvents
    void UpdateStarted(const std::string& text) override;
    void StepStarted(StepId step, const std::string& text) override;
    void StepDone(StepId step, const std::string& text, StepEnd end) override;
    void StepFailed(StepId, const std::string&, const std::string&) override {}
    void Progress(StepId step, std::uint64_t done, std::uint64_t total, const char* unit) override;
    void Transient(const std::string& text) override { ShowTransient(text); }
    void Note(const std::string& text) override;
    bool Ask(const std::string& prompt, bool cancelByDefault) override
    {
        return m_view.ShowMessage(prompt, cancelByDefault ? MessageButtons::OkCancelDefaultCancel : MessageButtons::OkCancel);
    }
    void Message(const std::string& text) override { m_view.ShowMessage(text, MessageButtons::Ok); }
    bool AskReason(const std::string& prompt, std::string& reason) override { return m_view.AskReason(prompt, reason); }
    void RadioBusy(bool busy) override { m_view.LockControls(busy); }
    void FailureExplained(const std::string& reason, const std::string& advice) override;
    void ChannelDataWrittenBack(const std::string& path) override;
    void Finished(const UpdateResult& result) override;

private:
    LogPane& m_view;
    std::string m_strLog;
    // The progress bar's range as last set (a step and its total).
    bool m_barSet = false;
    StepId m_barStep = StepId::Prepare;
    bool m_barStale = false;  // the bar still shows a failed run
    std::uint64_t m_barTotal = 0;
};
