#pragma once
#include <cstdio>
#include <mutex>

#include "frontends/cli/radio_events.h"

// --json: every event as one JSON object on a line of its own, for station
// software and scripts.
//   {"event":"step","port":P,"id":"connect","step":"Radio connection.","state":"started"|"done"}
//   {"event":"step","port":P,"id":"write","state":"failed","message":"Firm write error.","reason":R}
//   {"event":"progress","port":P,"id":"write","percent":42,"done":55296,"total":131072,"unit":"bytes"}
//   {"event":"message"|"prompt"|"note","port":P,"text":T}
//   {"event":"finished","port":P,"exit_status":N,"record":{...},"restore_command":C}
//   {"event":"result","exit_status":N,"radios":[{"port":P,"exit_status":N,"record":{...}}, ...]}  (last)
class JsonEvents : public EventSink {
public:
    explicit JsonEvents(std::FILE* out) : m_out(out) {}
    void Event(const RadioEvent& event) override;
    // The last line: the worst exit status and every radio's end.
    void Result(int exitStatus);

private:
    void Line(const std::string& text);

    std::FILE* const m_out;
    std::mutex m_mutex;
    std::string m_radios = "[";
};
