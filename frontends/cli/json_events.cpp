#include "frontends/cli/json_events.h"

#include <nlohmann/json.hpp>

namespace {

// A port name need not be UTF-8: its bytes that are not are replaced, never
// thrown at (the restore command must reach the technician).
std::string Dump(const nlohmann::json& j)
{
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json ParsedOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::json() : nlohmann::json::parse(text, nullptr, false);
}

}  // namespace

void JsonEvents::Line(const std::string& text)
{
    std::fputs((text + "\n").c_str(), m_out);
    std::fflush(m_out);  // a failed write (a closed pipe) changes nothing
}

void JsonEvents::Event(const RadioEvent& e)
{
    nlohmann::json j;
    switch (e.kind) {
    case RadioEvent::Kind::UpdateStarted:  // the steps and progress say it
    case RadioEvent::Kind::Transient:
        return;
    case RadioEvent::Kind::StepStarted:
    case RadioEvent::Kind::StepDone:
        j = {{"event", "step"}, {"port", e.port}, {"id", StepName(e.step)}, {"step", e.text},
             {"state", e.kind == RadioEvent::Kind::StepDone ? "done" : "started"}};
        break;
    case RadioEvent::Kind::StepFailed:
        j = {{"event", "step"}, {"port", e.port}, {"id", StepName(e.step)}, {"state", "failed"},
             {"message", e.text}, {"reason", e.reason}};
        break;
    case RadioEvent::Kind::Progress:
        j = {{"event", "progress"}, {"port", e.port}, {"id", StepName(e.step)}, {"percent", e.percent},
             {"done", e.done}, {"total", e.total}, {"unit", e.unit}};
        break;
    case RadioEvent::Kind::Message:
    case RadioEvent::Kind::Prompt:
    case RadioEvent::Kind::Note: {
        const char* kind = e.kind == RadioEvent::Kind::Message ? "message"
                           : e.kind == RadioEvent::Kind::Prompt ? "prompt"
                                                                : "note";
        j = {{"event", kind}, {"port", e.port}, {"text", e.text}};
        break;
    }
    case RadioEvent::Kind::Finished: {
        j = {{"event", "finished"}, {"port", e.port}, {"exit_status", e.exitStatus}, {"record", ParsedOrNull(e.record)}};
        if (!e.restoreCommand.empty())
            j["restore_command"] = e.restoreCommand;
        if (!e.position.empty())
            j["position"] = e.position;
        if (!m_keepRadios)
            break;
        nlohmann::json radio = j;
        radio.erase("event");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_radios += (m_radios.size() > 1 ? "," : "") + Dump(radio);
        break;
    }
    }
    if (!e.position.empty())
        j["position"] = e.position;
    const std::string text = Dump(j);
    std::lock_guard<std::mutex> lock(m_mutex);
    Line(text);
}

void JsonEvents::Object(const nlohmann::json& object)
{
    const std::string text = Dump(object);
    std::lock_guard<std::mutex> lock(m_mutex);
    Line(text);
}

void JsonEvents::Result(int exitStatus)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Line("{\"event\":\"result\",\"exit_status\":" + std::to_string(exitStatus) + ",\"radios\":" + m_radios + "]}");
}
