#include "frontends/cli/one_radio_console.h"

OneRadioConsole::OneRadioConsole(ConsoleLog::Settings settings, std::FILE* out)
    : m_log(settings, out), m_renderer(m_log)
{
    // Reasons go to stderr as they happen, not into the log's lines.
    m_renderer.reasonsInLog = false;
}

void OneRadioConsole::Event(const RadioEvent& e)
{
    switch (e.kind) {
    case RadioEvent::Kind::UpdateStarted:
        m_renderer.UpdateStarted(e.text);
        break;
    case RadioEvent::Kind::StepStarted:
        m_renderer.StepStarted(e.step, e.text);
        break;
    case RadioEvent::Kind::StepDone:
        m_renderer.StepDone(e.step, e.text, e.end);
        break;
    case RadioEvent::Kind::Progress:
        m_renderer.Progress(e.step, e.done, e.total, e.unit.c_str());
        break;
    case RadioEvent::Kind::Transient:
        m_renderer.Transient(e.text);
        break;
    case RadioEvent::Kind::Message:
        m_renderer.Message(e.text);
        break;
    case RadioEvent::Kind::Prompt:
        m_log.PrintText(e.text);
        break;
    case RadioEvent::Kind::Note:
        m_log.PrintNote(e.text);
        break;
    case RadioEvent::Kind::Finished:
        m_log.FinishOutput();
        break;
    case RadioEvent::Kind::StepFailed:  // its message and notes say it
        break;
    }
}
