#include "frontends/cli/shared_prompt.h"

#include <cctype>
#include <cstdio>

#include "frontends/cli/console_platform.h"

SharedPrompt::SharedPrompt(bool assumeYes, bool once, EventSink& sink)
    : m_assumeYes(assumeYes), m_once(once), m_sink(sink), m_input(std::make_unique<PromptInput>(0))
{
}

SharedPrompt::~SharedPrompt() = default;

bool SharedPrompt::Ask(const std::string& port, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);  // one question on the terminal at a time
    if (m_cancelled)
        return false;
    if (m_once && m_answer)
        return *m_answer;
    m_sink.Event({RadioEvent::Kind::Prompt, port, text});
    bool ok = m_assumeYes;
    if (!m_assumeYes) {
        if (InputIsTerminal(0))
            std::fputs("[Enter = OK, n = Cancel] ", stderr);
        std::string answer;
        ok = m_input->ReadLine(answer) && !m_cancelled;
        for (char& c : answer)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' '))
            answer.pop_back();
        ok = ok && (answer.empty() || answer == "y" || answer == "yes" || answer == "ok");
    }
    m_answer = ok;
    return ok;
}

void SharedPrompt::Cancel()
{
    m_cancelled = true;
    m_input->Cancel();
}
