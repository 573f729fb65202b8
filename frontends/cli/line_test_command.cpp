// `vokta4-cli line-test --port P`: test patterns through a loopback plug,
// the round-trip times, and what they mean for an update's duration.
#include <cstdio>
#include <iostream>

#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/line_test.h"
#include "platform/native_host.h"

const char* const kLineTestHelp =
    "Unplug the radio first. Join TX to RX with a loopback plug (pins 2 and 3 of a 9-pin\n"
    "connector) or use the adapter's own loopback. The test sends single bytes, the 256 byte\n"
    "values and 514-byte bursts at 19200 8N1 and checks that each comes back exact. It begins\n"
    "with single bytes that no radio takes for a command and stops at the first that does\n"
    "not come back.\n\n"
    "Exit status: 0 = the line is sound; 1 = nothing came back, or something else (the\n"
    "reason on stderr); 64 = bad usage.";

namespace {

std::string Ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", ms);
    return text;
}

std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

void PrintFigures(const char* what, const LineFigures& f)
{
    std::printf("%-16s %2d x %3u %-5s  round trip median %s, worst %s (wire time %s)\n", what, f.exchanges,
                static_cast<unsigned>(f.bytes), f.bytes == 1 ? "byte" : "bytes", Ms(f.medianMs).c_str(),
                Ms(f.worstMs).c_str(), Ms(f.wireMs).c_str());
}

std::string Hint(const LineTestReport& r)
{
    switch (r.verdict) {
    case LineTestReport::Verdict::Silent:
        if (r.patternsBack > 0)
            return "the echo stopped after " + std::to_string(r.patternsBack) + " of " +
                   std::to_string(r.patterns) +
                   " patterns came back: a loose loopback plug or cable, or an adapter that stops; check the "
                   "plug and the cable and test again.";
        return "is the loopback plug on (TX joined to RX), and is this the right port? A radio does not "
               "echo: unplug it for this test.";
    case LineTestReport::Verdict::Late: {
        // Each exchange of an update would wait that long for its answer.
        char cost[160];
        std::snprintf(cost, sizeof cost, "%.0f s", r.lateMs / 1000 * UpdateCost::kExchanges);
        return "that is the line's latency (a USB adapter's latency timer, a slow driver or hub): each of an "
               "update's " + std::to_string(UpdateCost::kExchanges) + " exchanges would wait as long, about " +
               cost + " more, and the update's one-second time-outs would fail. vokta4-cli ports shows the "
               "adapter's latency timer.";
    }
    case LineTestReport::Verdict::Different:
        return "an adapter fault, a wrong line speed, noise on the line or a radio answering (unplug it): "
               "try another cable or adapter, and close any other program that uses the port.";
    case LineTestReport::Verdict::PortFault:
        if (r.reason.find("port busy") != std::string::npos)
            return "another program has the port open: close it (a terminal program, another vokta4-cli or "
                   "the window) and test again.";
        break;
    case LineTestReport::Verdict::Sound:
        break;
    }
    return "check that the adapter is plugged in and the port's name is right (vokta4-cli ports).";
}

}  // namespace

int RunLineTest(const std::string& port, bool yes)
{
    // The patterns are harmless to a radio, but its answers would fail the
    // test: the technician unplugs it first.
    if (!yes) {
        std::fprintf(stderr, "Unplug the radio from this cable and join TX to RX (a loopback plug) on %s; "
                             "Enter starts the test, n cancels (--yes skips this question) ",
                     port.c_str());
        std::string answer;
        if (!PromptInput(0).ReadLine(answer)) {
            std::cerr << "\nvokta4-cli: no answer: the input ended, so the test does not start (nothing was sent)\n";
            return kExitIntact;
        }
        if (!answer.empty() && answer != "\r" && answer != "y" && answer != "yes") {
            std::cerr << "vokta4-cli: Cancelled: nothing was sent\n";
            return kExitIntact;
        }
    }
    NativeHost host;
    LineTest test([&host] { return host.MakePortBackend(); });
    std::printf("line test on %s at 19200 8N1, through a loopback (TX joined to RX)\n", port.c_str());
    std::fflush(stdout);
    const LineTestReport r = test.Run(port);
    if (r.verdict != LineTestReport::Verdict::Sound) {
        std::cerr << "vokta4-cli: line test failed: " << r.reason << "\nhint: " << Hint(r) << "\n";
        return kExitIntact;
    }
    PrintFigures("single bytes", r.single);
    PrintFigures("all byte values", r.allValues);
    PrintFigures("bursts", r.bursts);
    const UpdateCost cost = UpdateCost::Of(r);
    const double wire = UpdateCost::kWireSeconds;
    std::printf("per exchange beyond the wire time: median %s, worst %s\n", Ms(r.overheadMedianMs).c_str(),
                Ms(r.overheadWorstMs).c_str());
    std::printf("an update (%d exchanges, %s on the wire at 19200 baud) takes about %s longer on this line "
                "(%.3f x), at worst %s (%.3f x)\n",
                UpdateCost::kExchanges, Seconds(wire).c_str(), Seconds(cost.addedMedianSeconds).c_str(),
                (wire + cost.addedMedianSeconds) / wire, Seconds(cost.addedWorstSeconds).c_str(),
                (wire + cost.addedWorstSeconds) / wire);
    if (r.fasterThanWire)
        std::printf("note: the bursts came back faster than 19200 baud carries them: this port is no real "
                    "serial line (a pseudo-terminal or a virtual port)\n");
    std::printf("the line is sound: every pattern came back exact\n");
    return kExitDone;
}
