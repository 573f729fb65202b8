#pragma once
#include <string>
#include <utility>

// What happens in one radio's update, as the front ends of several radios
// (the live table, JSON Lines) report it.
struct RadioEvent {
    enum class Kind {
        StepStarted,  // text: the step's log line
        StepDone,     // text: the step's log line
        Progress,     // percent of the step
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
    std::string text;
    int percent = 0;
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
