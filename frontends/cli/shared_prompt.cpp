#include "frontends/cli/shared_prompt.h"

#include <cctype>
#include <cstdio>

#include "frontends/cli/console_platform.h"

SharedPrompt::SharedPrompt(bool assumeYes, bool once, EventSink& sink)
    : m_assumeYes(assumeYes), m_once(once), m_sink(sink), m_input(std::make_unique<PromptInput>(0))
{
}

SharedPrompt::~SharedPrompt() = default;

bool SharedPrompt::Ask(const std::string& port, const std::string& text, bool cancelByDefault)
{
    std::lock_guard<std::mutex> lock(m_mutex);  // one question on the terminal at a time
    if (m_cancelled)
        return false;
    // A question about one radio's channel data is never answered for it by
    // another's answer, nor by --yes.
    if (m_once && m_answer && !cancelByDefault)
        return *m_answer;
    m_sink.Event({RadioEvent::Kind::Prompt, port, text});
    bool ok = m_assumeYes && !cancelByDefault;
    if (!m_assumeYes) {
        if (InputIsTerminal(0))
            std::fputs(cancelByDefault ? "[y = OK, Enter = Cancel] " : "[Enter = OK, n = Cancel] ", stderr);
        std::string answer;
        ok = m_input->ReadLine(answer) && !m_cancelled;
        for (char& c : answer)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' '))
            answer.pop_back();
        ok = ok && ((answer.empty() && !cancelByDefault) || answer == "y" || answer == "yes" || answer == "ok");
    }
    if (!cancelByDefault)
        m_answer = ok;
    return ok;
}

void SharedPrompt::Cancel()
{
    m_cancelled = true;
    m_input->Cancel();
}
