#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "update/update_events.h"

// What happens in one radio's update, as the command line's front ends
// (one radio's log, the live table, JSON Lines, the station) report it.
struct RadioEvent {
    enum class Kind {
        UpdateStarted,  // text: the log's first line
        StepStarted,  // step: its id; text: its log line
        StepDone,     // step: its id; text: its log line; end
        StepFailed,   // step: its id; text: the message box (may be empty); reason
        Progress,     // step; done of total units, and the percent
        Transient,    // text: a counter shown behind the step's line until the next
        Message,      // text: a message box
        Prompt,       // text: an OK/Cancel question
        Note,         // text: a reason or a warning
        Finished      // exitStatus, record (JSON), restoreCommand
    };
    RadioEvent(Kind k, std::string p, std::string t = std::string())
        : kind(k), port(std::move(p)), text(std::move(t))
    {
    }

    Kind kind;
    std::string port;
    std::string position;  // a station's bench position (empty elsewhere)
    std::string text;
    StepId step = StepId::Prepare;
    StepEnd end = StepEnd::Done;
    std::string reason;
    int percent = 0;
    std::uint64_t done = 0, total = 0;
    std::string unit;  // of done and total: "records", "bytes"
    int exitStatus = 0;
    std::string record;
    std::string restoreCommand;
};

// Receives the events of every radio, from their threads.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Event(const RadioEvent& event) = 0;
};
