// `vokta4-cli write`: one radio or several, each a RadioSession on a thread
// of its own. One radio in a terminal shows its log as the window does;
// several show a live table; --json gives JSON Lines for any number. One
// "Power Supply?" answers for all, and the exit status is the worst radio's.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/fleet_table.h"
#include "frontends/cli/json_events.h"
#include "frontends/cli/one_radio_console.h"
#include "frontends/cli/radio_session.h"
#include "frontends/cli/radio_stop.h"
#include "frontends/cli/restore_command.h"
#include "frontends/cli/shared_prompt.h"
#include "frontends/cli/write_options.h"
#include "platform/native_host.h"
#include "platform/port_probe.h"
#include "res/resource.h"
#include "update/channel_backup.h"
#include "update/output_guard.h"
#include "update/string_table.h"

namespace fs = std::filesystem;

namespace {

// The ports named, or else every port of the list (`all`): those that open,
// then those that do not, which get a row of their own with the reason and
// fail the run, so that a radio is never left out without a word. Or the
// one a single update takes: the one used last if it opens, else the first
// (`refused` then says why the others do not open).
std::vector<std::string> PortsToUpdate(NativeHost& host, const WriteArgs& args, bool sayRefused)
{
    if (!args.allPorts && !args.ports.empty())
        return args.ports;
    const PortProbe probe =
        ProbePorts(host, host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, PROFILE_DEFAULT_PORT));
    if (args.allPorts) {
        std::vector<std::string> ports = probe.usable;
        for (const auto& [port, reason] : probe.refused)
            ports.push_back(port);
        return ports;
    }
    if (sayRefused) {
        for (const auto& [port, reason] : probe.refused)
            std::cerr << "vokta4-cli: " << port << "  not usable: " << reason << "\n";
    }
    return probe.selected.empty() ? std::vector<std::string>() : std::vector<std::string>{probe.selected};
}

// Two radios on one port (a name given twice, or two names of one device),
// or whose files would share a name, cannot both be updated: refused
// before any starts.
bool PortsDistinct(const std::vector<std::string>& ports)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(ports[i], ports[j])) {
                std::cerr << "vokta4-cli: " << ports[j] << " and " << ports[i] << " are the same port\n";
                return false;
            }
            if (SameFileTag(ChannelBackupTag(ports[i]), ChannelBackupTag(ports[j]))) {
                std::cerr << "vokta4-cli: " << ports[j] << " and " << ports[i] << " would share the files vokt-"
                          << ChannelBackupTag(ports[i]) << ".*; update them one after the other\n";
                return false;
            }
        }
    }
    return true;
}

// One radio in a terminal, after the erase: where its channel data are and
// the command that updates it again with them.
void ReportAfterErase(const RadioSession& radio, const WriteArgs& args, const std::string& program)
{
    std::cerr << "vokta4-cli: the radio's flash was erased and it needs another update.\n";
    const std::string& backup = radio.Result().backupPath;
    if (backup.empty())
        return;
    std::cerr << "vokta4-cli: its channel data is saved in " << backup << "\n"
              << "vokta4-cli: update it again, with that channel data, by:\n  "
              << RestoreCommand(args, program, radio.Port(), radio.Request().firmwarePath, backup) << "\n";
}

// One radio in a terminal, refused because its channel data look lost:
// unchanged by this run, but it needs another update with them.
void ReportChannelDataLost(const RadioSession& radio, const WriteArgs& args, const std::string& program)
{
    const std::vector<std::string>& offered = radio.Result().offeredBackups;
    std::cerr << "vokta4-cli: nothing was written, but this radio's channel data look lost: it needs another "
                 "update with them.\n";
    if (offered.empty())
        return;
    std::cerr << "vokta4-cli: if it is the radio of an unfinished update, update it with the channel data that "
                 "update saved, by"
              << (offered.size() > 1 ? " one of:\n" : ":\n");
    for (const std::string& backup : offered)
        std::cerr << "  " << RestoreCommand(args, program, radio.Port(), radio.Request().firmwarePath, backup) << "\n";
    std::cerr << "vokta4-cli: each command reads the radio first and refuses one that holds channel data of its "
                 "own; a radio never programmed is written blank with --blank-channel-data.\n";
}

// One radio in a terminal, at its end: its port is the one taken next
// time, and a radio that needs another update is told how.
void EndOfOneRadio(NativeHost& host, const WriteArgs& args, const RadioSession& radio)
{
    host.WriteProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, radio.Port());
    if (radio.Result().outcome == UpdateOutcome::ChannelDataLost)
        ReportChannelDataLost(radio, args, host.ModuleFileName());
    else if (radio.ExitStatus() == kExitAfterErase)
        ReportAfterErase(radio, args, host.ModuleFileName());
}

// Who presents the radios' events: one of the three.
struct Presenter {
    std::unique_ptr<EventSink> sink;
    JsonEvents* json = nullptr;
    FleetTable* table = nullptr;
    OneRadioConsole* one = nullptr;

    Presenter(const WriteArgs& args, bool console)
    {
        if (args.json)
            sink.reset(json = new JsonEvents(stdout));
        else if (console)
            sink.reset(one = new OneRadioConsole(ConsoleLog::TerminalSettings(), stdout));
        else
            sink.reset(table = new FleetTable(stdout, TerminalRedraws()));
    }
};

}  // namespace

int RunWrite(const WriteArgs& args)
{
    NativeHost host;
    // One radio without --json: its log in the terminal, as the window shows it.
    const bool console = !args.json && !args.allPorts && args.ports.size() <= 1;
    // Made once the ports are known; outlives the radios and stop requests.
    std::unique_ptr<Presenter> presenter;
    std::unique_ptr<SharedPrompt> prompt;
    std::vector<std::unique_ptr<RadioSession>> radios;
    // Stop requests are taken from the start (one before the radios start
    // means that none does), and until the radios are gone.
    RadioStop stop;
    InterruptSource interrupts([&stop](StopRequest request) { stop(request); });
    if (console)
        std::cout << TitleText(args.test ? "TEST" : "RELEASE") << std::endl;
    const std::vector<std::string> ports = PortsToUpdate(host, args, console);
    if (ports.empty()) {
        std::cerr << "vokta4-cli: no serial port could be opened\n";
        return kExitIntact;
    }
    if (!PortsDistinct(ports))
        return kExitUsage;
    const bool several = args.allPorts || ports.size() > 1;
    const std::string problem = several ? SeveralRadiosProblem(args) : std::string();
    if (!problem.empty()) {
        std::cerr << "vokta4-cli: " << problem << "\n";
        return kExitUsage;
    }
    if (console && args.firmware.empty() && FirmwareBesideProgram(host).empty())
        std::cerr << "vokta4-cli: no firmware file (*.002) beside the program; give one with --firmware\n";
    std::error_code ec;
    const bool folder = !args.dataFile.empty() && fs::is_directory(fs::u8path(args.dataFile), ec);
    const std::string base = folder ? (fs::u8path(args.dataFile) / "").u8string() : host.DataFolder();

    presenter = std::make_unique<Presenter>(args, console);
    prompt = std::make_unique<SharedPrompt>(args.yes, several, *presenter->sink);
    std::vector<RadioSession*> watched;
    for (const std::string& port : ports) {
        const std::string stem = base + "vokt-" + ChannelBackupTag(port);
        // One radio alone keeps the data file of a single update.
        const std::string dataFile = several                            ? stem + ".tmp"
                                     : (folder || args.dataFile.empty()) ? base + "vokt.tmp"
                                                                         : args.dataFile;
        RadioSession::Paths paths{dataFile, console ? std::string() : stem + ".log", std::string(), std::string(),
                                  std::string()};
        radios.push_back(std::make_unique<RadioSession>(args, port, paths, *prompt, *presenter->sink));
        if (!radios.back()->Ready())
            return kExitIntact;
        watched.push_back(radios.back().get());
    }
    OneRadioConsole* one = presenter->one;
    if (!stop.Watch(radios, *prompt, [one](const std::string& text) {
            if (one)
                one->Say(text);
            else
                std::cerr << "vokta4-cli: " + text + "\n" << std::flush;
        })) {
        std::cerr << "vokta4-cli: Stopped by the technician: the radio is unchanged\n";
        return kExitIntact;
    }
    if (presenter->table)
        presenter->table->Watch(watched);
    for (auto& r : radios)
        r->Start();
    int worst = kExitDone;
    for (auto& r : radios) {
        r->Join();
        worst = std::max(worst, r->ExitStatus());
    }
    if (presenter->table)
        presenter->table->Finish();
    if (presenter->json)
        presenter->json->Result(worst);
    if (one) {
        one->FinishOutput();
        EndOfOneRadio(host, args, *radios.front());
    }
    // Last: a closing console may end the program once this is said.
    interrupts.Finished();
    return worst;
}
