// vr3900-sim: a simulated VR-3900 radio on a pseudo-terminal.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "sim/plugged_line.h"
#include "sim/radio_model.h"

namespace {

bool ParseStep(const std::string& s, RadioModel::Step& step)
{
    for (int i = 0; i <= static_cast<int>(RadioModel::Step::WriteData); ++i) {
        if (s == RadioModel::StepName(static_cast<RadioModel::Step>(i))) {
            step = static_cast<RadioModel::Step>(i);
            return true;
        }
    }
    return false;
}

bool ParseFault(const std::string& s, RadioModel::Fault& fault)
{
    for (int i = 0; i <= static_cast<int>(RadioModel::Fault::GaveUp); ++i) {
        if (s == RadioModel::FaultName(static_cast<RadioModel::Fault>(i))) {
            fault = static_cast<RadioModel::Fault>(i);
            return true;
        }
    }
    return false;
}

// "STEP:INDEX:ATTEMPTS:FAULT", e.g. "wdata:17:2:silence", "read:-1:5:short"
// or "wcmd:9:1:late=1300".
bool ParseRule(const std::string& text, RadioModel::FaultRule& rule)
{
    std::string parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t colon = text.find(':', start);
        if ((colon == std::string::npos) != (i == 3))
            return false;
        parts[i] = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        start = colon + 1;
    }
    // "late=MS" and "extra=MS" give the rule a delay of its own.
    std::string fault = parts[3];
    const std::size_t eq = fault.find('=');
    try {
        rule.index = std::stoi(parts[1]);
        rule.attempts = std::stoi(parts[2]);
        if (eq != std::string::npos) {
            rule.lateBy = std::chrono::milliseconds(std::stoi(fault.substr(eq + 1)));
            fault.erase(eq);
        }
    } catch (...) {
        return false;
    }
    if (eq != std::string::npos && fault != "late" && fault != "extra" && fault != "gaveup")
        return false;
    return ParseStep(parts[0], rule.step) && ParseFault(fault, rule.fault) &&
           (rule.fault != RadioModel::Fault::GaveUp || rule.step == RadioModel::Step::WriteCommand);
}

// A whole number of milliseconds, 0 to an hour.
bool Milliseconds(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return value <= 3600000;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"vr3900-sim: a simulated VR-3900 radio on a pseudo-terminal.\n"
                 "Prints the port's path, serves until SIGINT/SIGTERM, then saves the flash."};
    std::string flashPath, linkPath, transcriptPath, adaptersFolder, usbSerial;
    bool wireTiming = false, usbBursts = false;
    std::string eraseText = "0", lateText = "1500", usbLatencyText;
    std::vector<std::string> faultTexts;
    app.add_option("--flash", flashPath, "flash file (131072 bytes): loaded if present, saved at exit");
    app.add_option("--link", linkPath, "make a symbolic link to the port at this path");
    app.add_option("--adapters", adaptersFolder,
                   "appear as a USB serial adapter in this folder (the tool's VOKTA4_ADAPTERS): a file named by "
                   "the serial number that holds the port; SIGUSR1 pulls it out, SIGUSR2 plugs it back under a "
                   "new port name, SIGHUP switches the radio off and on")
        ->check(CLI::ExistingDirectory);
    app.add_option("--usb-serial", usbSerial, "the adapter's serial number (with --adapters)");
    app.add_flag("--wire-timing", wireTiming, "take as long as a 19200-baud line would");
    app.add_option("--erase-ms", eraseText, "time each clear command takes");
    app.add_flag("--usb-bursts", usbBursts,
                 "deliver the radio's output as a USB serial adapter does: packets of up to 62 bytes, "
                 "a partial packet 16 ms (--usb-latency-ms) after its last byte");
    app.add_option("--usb-latency-ms", usbLatencyText,
                   "the USB adapter's latency timer (default 16; implies --usb-bursts)");
    app.add_option("--late-ms", lateText, "how late a 'late' fault answers (default 1500)");
    app.add_option("--fault", faultTexts,
                   "STEP:INDEX:ATTEMPTS:FAULT: the first ATTEMPTS answers of STEP (at record or block INDEX, "
                   "-1 = any) go wrong. Steps: contact boot start protect read clear1 clear2 wcmd wdata. "
                   "Faults: silence (no answer), refuse (the negative answer), short (one byte short), "
                   "garbage (stray bytes first), late (answer after --late-ms, the radio busy meanwhile; "
                   "late=MS for a delay of its own), hangup (the line drops), extra (one byte more right "
                   "after the answer; extra=MS: MS after it), corrupt (wdata only: the block is programmed with "
                   "one byte wrong and acknowledged as good), gaveup (wcmd only: the command is acknowledged, then "
                   "its data are not waited for, as after a pause on the line, and are read as commands; gaveup=MS: "
                   "each answer to them after the first comes MS after the one before)");
    app.add_option("--transcript", transcriptPath, "write a summary of the traffic here at exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line that names the option, not the whole help text.
        std::cerr << "vr3900-sim: " << e.what() << " (--help lists the options)\n";
        return 64;
    }
    int eraseMs = 0, lateMs = 0, usbLatencyMs = 16;
    if (!usbLatencyText.empty())
        usbBursts = true;
    else
        usbLatencyText = "16";
    for (const auto& [option, text, value] : {std::tuple<const char*, const std::string&, int&>{
                                                  "--erase-ms", eraseText, eraseMs},
                                              {"--late-ms", lateText, lateMs},
                                              {"--usb-latency-ms", usbLatencyText, usbLatencyMs}}) {
        if (!Milliseconds(text, value)) {
            std::cerr << "vr3900-sim: " << option << " takes milliseconds (0 to 3600000), not " << text << "\n";
            return 64;
        }
    }
    if (!adaptersFolder.empty() &&
        (usbSerial.empty() || usbSerial[0] == '.' || usbSerial.find('/') != std::string::npos)) {
        std::cerr << "vr3900-sim: --adapters needs --usb-serial, a serial number that is a plain file name\n";
        return 64;
    }
    std::error_code ec;
    if (!flashPath.empty() && std::filesystem::is_directory(flashPath, ec)) {
        std::cerr << "vr3900-sim: --flash names the flash file (131072 bytes); " << flashPath << " is a folder\n";
        return 64;
    }

    RadioModel::Settings settings;
    settings.wireTiming = wireTiming;
    settings.usbBursts = usbBursts;
    settings.usbLatency = std::chrono::milliseconds(usbLatencyMs);
    settings.eraseTime = std::chrono::milliseconds(eraseMs);
    settings.lateBy = std::chrono::milliseconds(lateMs);
    for (const std::string& text : faultTexts) {
        RadioModel::FaultRule rule;
        if (!ParseRule(text, rule)) {
            std::cerr << "vr3900-sim: bad --fault " << text << "\n";
            return 64;
        }
        settings.faults.push_back(rule);
    }
    RadioModel model(settings);
    std::string error;
    if (!flashPath.empty() && std::ifstream(flashPath).good() && !model.LoadFlash(flashPath, error)) {
        std::cerr << "vr3900-sim: " << error << "\n";
        return 1;
    }

    // Signals are taken by sigwait below, not by whichever thread they hit.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    for (int plug : {SIGUSR1, SIGUSR2, SIGHUP})
        sigaddset(&signals, plug);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // The line's timing is kept to the microsecond: without this the kernel
    // may let each timed hand-over run up to 50 us late (the default timer
    // slack, inherited by the threads started below).
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    PluggedLine line(model, {linkPath, adaptersFolder, usbSerial});
    if (!line.Plug(error)) {
        std::cerr << "vr3900-sim: " << error << "\n";
        return 1;
    }
    // SIGUSR1 pulls the adapter out, SIGUSR2 plugs it back with the radio
    // switched off and on, SIGHUP switches the radio off and on (the next
    // radio on the cable); SIGINT and SIGTERM end the simulator.
    for (;;) {
        int sig = 0;
        sigwait(&signals, &sig);
        if (sig == SIGUSR1) {
            line.Unplug();
        } else if (sig == SIGUSR2) {
            if (!line.Plugged()) {
                model.PowerCycle();
                if (!line.Plug(error))
                    std::cerr << "vr3900-sim: " << error << "\n";
            }
        } else if (sig == SIGHUP) {
            model.PowerCycle();
        } else {
            break;
        }
    }
    line.Unplug();
    int rc = 0;
    if (!flashPath.empty() && !model.SaveFlash(flashPath, error)) {
        std::cerr << "vr3900-sim: " << error << "\n";
        rc = 1;
    }
    const RadioModel::Transcript t = model.GetTranscript();
    // A stage the radio dropped is what a failing test needs to know first.
    for (const std::string& a : t.abandoned)
        std::cerr << "vr3900-sim: a pause on the line dropped " << a << "\n";
    if (!transcriptPath.empty()) {
        std::ofstream out(transcriptPath);
        out << "bytes_in " << t.bytesIn << "\nbytes_out " << t.bytesOut << "\ncontacts " << t.contacts
            << "\nboot_frames " << t.bootFrames << "\nbad_boot_frames " << t.badBootFrames << "\nboot_started "
            << (t.bootStarted ? 1 : 0) << "\n";
        if (!t.dataTurnarounds.empty()) {
            std::vector<std::chrono::nanoseconds> d = t.dataTurnarounds;
            std::sort(d.begin(), d.end());
            auto us = [](std::chrono::nanoseconds n) { return n.count() / 1000; };
            out << "data_turnaround_us " << us(d[d.size() / 2]) << " " << us(d[d.size() * 9 / 10]) << " "
                << d.size() << " " << us(d.back()) << "\n";
        }
        for (const std::string& c : t.commands)
            out << c << "\n";
    }
    return rc;
}
