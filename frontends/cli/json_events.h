#pragma once
#include <cstdio>
#include <mutex>

#include <nlohmann/json_fwd.hpp>

#include "frontends/cli/radio_events.h"

// --json: every event as one JSON object on a line of its own, for station
// software and scripts.
//   {"event":"step","port":P,"id":"connect","step":"Radio connection.","state":"started"|"done"}
//   {"event":"step","port":P,"id":"write","state":"failed","message":"Firm write error.","reason":R}
//   {"event":"progress","port":P,"id":"write","percent":42,"done":55296,"total":131072,"unit":"bytes"}
//   {"event":"message"|"prompt"|"note","port":P,"text":T}
//   {"event":"finished","port":P,"exit_status":N,"record":{...},"restore_command":C}
//   {"event":"result","exit_status":N,"radios":[{"port":P,"exit_status":N,"record":{...}}, ...]}  (last)
// A station's events carry "position" too, and it adds its own (Object):
//   {"event":"adapter","position":L,"adapter":A,"port":P,"present":true|false}
//   {"event":"tally","done":N,"failed":N,"needs_another_update":N,"median_minutes":M}
class JsonEvents : public EventSink {
public:
    // `keepRadios`: each radio's end is kept for Result (not by a station,
    // which runs for a whole shift).
    explicit JsonEvents(std::FILE* out, bool keepRadios = true) : m_out(out), m_keepRadios(keepRadios) {}
    void Event(const RadioEvent& event) override;
    // One object of the caller's own, as one line.
    void Object(const nlohmann::json& object);
    // The last line: the worst exit status and every radio's end.
    void Result(int exitStatus);

private:
    void Line(const std::string& text);

    std::FILE* const m_out;
    const bool m_keepRadios;
    std::mutex m_mutex;
    std::string m_radios = "[";
};
