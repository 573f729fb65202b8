#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "frontends/cli/console_view.h"

namespace {

struct Console {
    std::FILE* file = std::tmpfile();
    ConsoleView view;
    explicit Console(bool interactive, bool yes = false) : view(Settings(interactive, yes), file) {}
    ~Console() { std::fclose(file); }
    static ConsoleView::Settings Settings(bool interactive, bool yes)
    {
        ConsoleView::Settings s;
        s.interactive = interactive;
        s.assumeYes = yes;
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

}  // namespace

TEST(ConsoleView, StreamsTheLogAndPutsEachMessageOnALineOfItsOwn)
{
    Console c(false, true);
    c.view.SetLogText("Waiting for power on Radio.", "");
    EXPECT_TRUE(c.view.ShowMessage("Power Supply?", MessageButtons::OkCancel));
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

TEST(ConsoleView, OnATerminalTheTransientTextIsOverwrittenInPlace)
{
    Console c(true);
    c.view.SetLogText("Boot program sending.", "\tLine 0");
    c.view.SetLogText("Boot program sending.", "\tLine 1");
    c.view.SetLogText("Boot program sending.\t\t......OK", "");
    c.view.FinishOutput();
    EXPECT_EQ(c.Text(), "Boot program sending.\tLine 0\r\x1b[KBoot program sending.\tLine 1\r\x1b[K"
                        "Boot program sending.\t\t......OK\n");
}

TEST(ConsoleView, PromptAnswersComeFromInputAndEndOfInputCancels)
{
    for (const auto& [input, expected] : std::vector<std::pair<std::string, bool>>{
             {"\n", true}, {"y\n", true}, {"OK\r\n", true}, {"n\n", false}, {"cancel\n", false}, {"", false}}) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        (void)!::write(fds[1], input.data(), input.size());
        ::close(fds[1]);
        ConsoleView::Settings s;
        s.answerFd = fds[0];
        std::FILE* out = std::tmpfile();
        ConsoleView view(s, out);
        EXPECT_EQ(view.ShowMessage("Power Supply?", MessageButtons::OkCancel), expected) << "input '" << input << "'";
        std::fclose(out);
        ::close(fds[0]);
    }
}
