#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "frontends/cli/console_log.h"
#include "frontends/cli/shared_prompt.h"

namespace {

struct Console {
    std::FILE* file = std::tmpfile();
    ConsoleLog view;
    explicit Console(bool interactive) : view(Settings(interactive), file) {}
    ~Console() { std::fclose(file); }
    static ConsoleLog::Settings Settings(bool interactive)
    {
        ConsoleLog::Settings s;
        s.interactive = interactive;
        return s;
    }
    std::string Text()
    {
        std::fflush(file);
        std::rewind(file);
        std::string s;
        int c;
        while ((c = std::fgetc(file)) != EOF)
            s += static_cast<char>(c);
        return s;
    }
};

struct NoSink : EventSink {
    std::vector<RadioEvent> events;
    void Event(const RadioEvent& e) override { events.push_back(e); }
};

}  // namespace

TEST(ConsoleLog, StreamsTheLogAndPutsEachMessageOnALineOfItsOwn)
{
    Console c(false);
    c.view.SetLogText("Waiting for power on Radio.", "");
    c.view.PrintText("Power Supply?");
    c.view.SetLogText("Waiting for power on Radio.\t\t......OK", "");
    c.view.SetLogText("Waiting for power on Radio.\t\t......OK\r\nRadio connection.", "");
    c.view.SetLogText("Waiting for power on Radio.\t\t......OK\r\nRadio connection.", "\tLine 4");
    c.view.ShowMessage("Time out", MessageButtons::Ok);
    c.view.SetLogText("", "");
    c.view.FinishOutput();
    EXPECT_EQ(c.Text(),
              "Waiting for power on Radio.\nPower Supply?\nWaiting for power on Radio.\t\t......OK\n"
              "Radio connection.\nTime out\n");
}

TEST(ConsoleLog, OnATerminalTheTransientTextIsOverwrittenInPlace)
{
    Console c(true);
    c.view.SetLogText("Boot program sending.", "\tLine 0");
    c.view.SetLogText("Boot program sending.", "\tLine 1");
    c.view.SetLogText("Boot program sending.\t\t......OK", "");
    c.view.FinishOutput();
    EXPECT_EQ(c.Text(), "Boot program sending.\tLine 0\r\x1b[KBoot program sending.\tLine 1\r\x1b[K"
                        "Boot program sending.\t\t......OK\n");
}

TEST(SharedPrompt, AnswersComeFromInputAndEndOfInputCancels)
{
    for (const auto& [input, expected] : std::vector<std::pair<std::string, bool>>{
             {"\n", true}, {"y\n", true}, {"OK\r\n", true}, {"n\n", false}, {"cancel\n", false}, {"", false}}) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        (void)!::write(fds[1], input.data(), input.size());
        ::close(fds[1]);
        NoSink sink;
        SharedPrompt prompt(false, false, sink, fds[0]);
        EXPECT_EQ(prompt.Ask("p", "Power Supply?"), expected) << "input '" << input << "'";
        ASSERT_FALSE(sink.events.empty());
        EXPECT_EQ(sink.events.front().text, "Power Supply?");
        EXPECT_EQ(sink.events.size() == 2, input.empty()) << "end of input is said";
        ::close(fds[0]);
    }
    // The end of input at a reason names what gives the reason instead
    // (--yes answers Cancel there).
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[1]);
    NoSink sink;
    SharedPrompt prompt(false, false, sink, fds[0]);
    std::string reason;
    EXPECT_FALSE(prompt.AskReason("p", "Why?", reason));
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_NE(sink.events[1].text.find("--unapproved"), std::string::npos) << sink.events[1].text;
    ::close(fds[0]);
}
