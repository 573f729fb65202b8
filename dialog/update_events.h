#pragma once
#include <cstdint>
#include <string>

// What an update reports as it goes, typed, for front ends that present it
// otherwise than as the dialog's log text: tables, JSON Lines, log files.
// Called on the update's UI thread. `step` is the step's id ("power",
// "connect", "boot", "start", "protect", "convert", "read", "clear",
// "write", "verify"; "prepare" before the port opens).
class UpdateEvents {
public:
    virtual ~UpdateEvents() = default;
    // A step with a log line of its own began; `text` is that line.
    virtual void StepStarted(const std::string& step, const std::string& text) = 0;
    // That step ended well.
    virtual void StepDone(const std::string& step, const std::string& text) = 0;
    // A step failed: the message box shown (may be empty) and the reason.
    virtual void StepFailed(const std::string& step, const std::string& message, const std::string& reason) = 0;
    // How far the step in progress is: `done` of `total` `unit`s
    // ("records", "bytes").
    virtual void Progress(const std::string& step, std::uint64_t done, std::uint64_t total, const char* unit) = 0;
};
