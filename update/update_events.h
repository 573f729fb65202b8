#pragma once
#include <cstdint>
#include <string>

struct UpdateResult;

// The steps of an update, in their order: Prepare while the inputs are
// checked, Power until the radio is switched on, then the procedure.
enum class StepId { Prepare, Power, Connect, Boot, Start, Protect, Convert, Read, Clear, Write, Verify };

// A step's name in records, JSON Lines and logs: "prepare", "power", ...
inline const char* StepName(StepId step)
{
    static const char* const names[] = {"prepare", "power",   "connect", "boot",  "start", "protect",
                                         "convert", "read",    "clear",   "write", "verify"};
    return names[static_cast<int>(step)];
}

// How a step that did not fail ended: done, or (the verification) not
// possible with this radio, the update standing.
enum class StepEnd { Done, NotPossible };

// What an update reports as it goes, typed. The windows and the console
// render it as the log pane's text (dialog/log_renderer: the step's line
// and its mark); tables, JSON Lines and log files consume it directly.
// Called on the update's UI thread.
class UpdateEvents {
public:
    virtual ~UpdateEvents() = default;
    // An update begins: `text` is the power step's line, shown while the
    // inputs are checked (step "prepare") and until the power question.
    virtual void UpdateStarted(const std::string&) {}
    // A step with a log line of its own began; `text` is that line.
    virtual void StepStarted(StepId step, const std::string& text) = 0;
    // That step ended without failing: `text` is its line.
    virtual void StepDone(StepId step, const std::string& text, StepEnd end) = 0;
    // A step failed: the message box shown (may be empty) and the reason.
    virtual void StepFailed(StepId step, const std::string& message, const std::string& reason) = 0;
    // How far the step in progress is: `done` of `total` `unit`s
    // ("records", "bytes"); a step's first report has `done` 0.
    virtual void Progress(StepId step, std::uint64_t done, std::uint64_t total, const char* unit) = 0;
    // What the step in progress shows behind its line: the record number
    // being sent, the seconds left of the ROM clear (empty: nothing).
    virtual void Transient(const std::string&) {}
    // A reason or warning for the technician, as it happens.
    virtual void Note(const std::string&) {}
    // A question with OK and Cancel: true for OK. With `cancelByDefault`
    // Cancel is the default answer (Return, Enter, --yes).
    virtual bool Ask(const std::string& prompt, bool cancelByDefault) = 0;
    // A question answered with a typed reason (Cancel by default): true and
    // the reason for OK. Front ends that cannot ask answer Cancel.
    virtual bool AskReason(const std::string&, std::string&) { return false; }
    // A message box with OK only; the last one is the update's result.
    virtual void Message(const std::string& text) = 0;
    // The radio is being talked to (true) or given back (false): a window
    // locks its controls meanwhile.
    virtual void RadioBusy(bool) {}
    // A failure explained, once per update before its message box: the
    // reason, and after the erase what to do next (either may be empty).
    virtual void FailureExplained(const std::string&, const std::string&) {}
    // Channel data saved in `path` replace the radio's own.
    virtual void ChannelDataWrittenBack(const std::string&) {}
    // The update ended; the port is closed and the record written.
    virtual void Finished(const UpdateResult&) {}
};
