// vokta4-cli: the VR-3900 firmware update in a terminal.
#include <CLI/CLI.hpp>

#include <iostream>

#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "platform/adapter_list.h"
#include "platform/native_host.h"
#include "res/resource.h"

namespace {

struct Arguments {
    WriteArgs write;
    StationArgs station;
    HistoryArgs history;
    ApproveArgs approve;
    std::string firmwareFile, imageFile, linePort;
    bool lineYes = false;
    bool convertIncomplete = false;
};

// The options of one update, the same for `write` and every position of
// `station`.
void AddUpdateOptions(CLI::App* write, WriteArgs& w)
{
    write->add_option("--firmware", w.firmware, "firmware file (default: the first *.002 beside the program)");
    write->add_option("--data-file", w.dataFile,
                      "data file (default: vokt.tmp beside the program); with several radios a folder for "
                      "their vokt-PORT.tmp, backups and vokt-PORT.log");
    write->add_flag("-t,--test", w.test, "TEST mode");
    write->add_flag("-y,--yes", w.yes,
                    "answer OK to \"Power Supply?\" (never to a question that replaces channel data); a radio "
                    "whose channel data look lost (erased, or cut short) is then left unchanged, exit 2");
    CLI::Option* channelData = write->add_option(
        "--channel-data", w.channelData,
        "write this 16384-byte channel-data backup into a radio whose channel area is erased, cut short "
        "from it, or already holds it (the radio is read first)");
    write->add_flag("--replace-channel-data", w.replaceChannelData,
                    "with --channel-data: replace channel data of the radio's own that differ (they are saved first)")
        ->needs(channelData);
    write->add_flag("--blank-channel-data", w.blankChannelData,
                    "write a channel area that reads as erased (a radio never programmed) as it is")
        ->excludes(channelData);
    write->add_option("--boot-image", w.bootImage,
                      "the radio maker's boot program (S1 records; default: boot.s19 beside the program)");
    write->add_flag("--allow-incomplete", w.allowIncomplete,
                    "write a firmware file that looks cut short (no termination record, data ending before "
                    "the end of the firmware area); without it such a file is refused");
    write->add_option("--trace", w.trace, "write every byte sent and received to this file");
    write->add_flag("--verify", w.verify, "read the flash back after the write (firmware and channel data) and compare it with the image written");
    write->add_flag("--json", w.json, "JSON Lines on stdout instead of the log, one object per event");
    write->add_option("--unapproved", w.unapproved,
                      "write a firmware file that the catalogue of approved firmware does not list, for this "
                      "reason (kept in the service record)");
}

void AddWrite(CLI::App& app, WriteArgs& w)
{
    CLI::App* write = app.add_subcommand("write", "update the radio's firmware");
    write->add_option("--port", w.ports,
                      "serial port, or an adapter by its identity (\"USB SERIAL\"; default: the saved port if it "
                      "opens, else the first); give it more than once "
                      "to update several radios at once");
    write->add_flag("--all-ports", w.allPorts, "update a radio on every port of the list that opens");
    AddUpdateOptions(write, w);
}

void AddStation(CLI::App& app, StationArgs& a)
{
    CLI::App* station = app.add_subcommand(
        "station", "keep bench positions going: every USB serial adapter is a position, one key per radio");
    station->add_option("--port", a.write.ports,
                        "watch only this adapter (its port name or its identity, as the table shows it); "
                        "more than once for several");
    station->add_flag("--all-ports", a.write.allPorts, "watch every port of the list, not only USB adapters");
    station->add_option("--positions", a.positionsFile,
                        "labels for adapters and the adapters expected, one per line: LABEL = IDENTITY");
    AddUpdateOptions(station, a.write);
    station->footer(kStationHelp);
}

void AddOthers(CLI::App& app, Arguments& a)
{
    app.add_subcommand("ports", "list the serial ports that open (* = the one write takes without --port), "
                                "why others do not, and where the files are");
    CLI::App* check = app.add_subcommand("check", "report what a firmware file holds and whether the update accepts it");
    check->add_option("FILE", a.firmwareFile, "firmware file (S-records)")->required();
    CLI::App* convert = app.add_subcommand("convert", "write the 131072-byte image the update would write");
    convert->add_option("FILE", a.firmwareFile, "firmware file (S-records)")->required();
    convert->add_option("-o,--output", a.imageFile, "image file to write")->required();
    convert->add_flag("--allow-incomplete", a.convertIncomplete, "convert a firmware file that looks cut short");
    CLI::App* approve = app.add_subcommand("approve", "add a firmware file to the shop's catalogue of approved firmware");
    approve->add_option("FILE", a.approve.file, "firmware file (S-records)")->required();
    approve->add_option("--model", a.approve.model, "the radio model it is for (for example " STR_RADIO_MODEL ")")
        ->required();
    approve->add_option("--release", a.approve.release, "its release (for example R01.00)")->required();
    approve->add_option("--note", a.approve.note, "a note for the shop");
    app.add_subcommand("approved", "list the catalogue of approved firmware in force");
    CLI::App* history = app.add_subcommand("history", "print the service record of past updates");
    history->add_option("--port", a.history.port, "only this port's updates");
    history->add_option("--since", a.history.since, "only updates from this date on (YYYY-MM-DD, UTC)");
    history->add_flag("--json", a.history.json, "the records as JSON lines");
    history->add_option("--discard", a.history.discard,
                        "close the unfinished update that saved this channel-data backup, when its radio "
                        "was restored otherwise (asks first); the backup is kept");
    history->add_flag("--yes", a.history.yes, "with --discard: close it without asking");
    history->add_option("--record", a.history.file,
                        "the service record (default: vokta4-history.jsonl beside the data file)");
    CLI::App* line = app.add_subcommand("line-test", "test the serial line through a loopback plug; unplug the radio first");
    line->add_option("--port", a.linePort, "serial port")->required();
    line->add_flag("-y,--yes", a.lineYes, "start without asking that the radio be unplugged");
    line->footer(kLineTestHelp);
}

// Names what was wrong on the command line: an unknown subcommand or option
// rather than what it made CLI11 miss.
std::string UsageProblem(const CLI::App& app, const std::vector<std::string>& args, const CLI::ParseError& e)
{
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        known = known || (args.size() > 1 && sub->get_name() == args[1]);
    if (args.size() > 1 && args[1][0] != '-' && !known)
        return "unknown subcommand " + args[1];
    if (args.size() > 1 && args[1][0] == '-')
        return "unknown option " + args[1] + " (options follow a subcommand: ports, write, station, check, convert, approve, approved, history, line-test)";
    // A mistyped option is named alone, not with the value that followed it.
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg == "--")
            continue;
        const std::string name = arg.substr(0, arg.find('='));
        bool found = false;
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
            if (sub->get_name() != args[1])
                continue;
            for (const CLI::Option* option : sub->get_options())
                found = found || option->check_name(name);
        }
        if (!found && name != "--help" && name != "-h")
            return "unknown option " + name;
    }
    const std::string what = e.what();
    const std::string extras = "not expected: ";
    const std::size_t at = what.find(extras);
    if (at != std::string::npos)
        return "unknown option " + what.substr(at + extras.size());
    return what;
}

int Run(const CLI::App& app, Arguments& a)
{
    WriteArgs& w = a.write;
    if (*app.get_subcommand("ports"))
        return RunPorts();
    if (*app.get_subcommand("check"))
        return RunCheck(a.firmwareFile);
    if (*app.get_subcommand("convert"))
        return RunConvert(a.firmwareFile, a.imageFile, a.convertIncomplete);
    if (*app.get_subcommand("history"))
        return RunHistory(a.history);
    if (*app.get_subcommand("approve"))
        return RunApprove(a.approve);
    if (*app.get_subcommand("approved"))
        return RunApproved();
    if (*app.get_subcommand("station"))
        return RunStation(a.station);
    if (*app.get_subcommand("line-test"))
        return RunLineTest(a.linePort, a.lineYes);
    {
        // A port may be named by its adapter's identity, as the station
        // names it ("USB FT4XK2Q1"): the port that adapter has now.
        NativeHost host;
        for (std::string& port : w.ports) {
            if (port.rfind("USB ", 0) == 0 || port.rfind("hub ", 0) == 0)
                port = PortOfAdapter(host, port);
        }
    }
    return RunWrite(w);
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"vokta4-cli " STR_VERSION ": firmware update of the " STR_RADIO_MODEL " radio over a serial port.\n\n"
                 "Exit status: 0 = \"Done.\"; 1 = failed or cancelled, the radio's flash untouched;\n"
                 "2 = failed after the ROM clear began (the radio needs another update);\n"
                 "64 = bad usage."};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("vokta4-cli ") + STR_VERSION);
    {
        NativeHost host;
        app.footer("Files, " + DescribeFilePlaces(host));
    }
    Arguments a;
    AddOthers(app, a);
    AddWrite(app, a.write);
    AddStation(app, a.station);

    std::vector<std::string> args = Utf8Arguments(argc, argv);
    // "vokta4-cli help [SUBCOMMAND]" is --help.
    if (args.size() > 1 && args[1] == "help") {
        args.erase(args.begin() + 1);
        args.push_back("--help");  // after the subcommand it names, if any
    }
    std::vector<char*> argvUtf8;
    for (const std::string& s : args)
        argvUtf8.push_back(const_cast<char*>(s.c_str()));
    try {
        app.parse(static_cast<int>(argvUtf8.size()), argvUtf8.data());
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vokta4-cli: " << UsageProblem(app, args, e) << "\nRun with --help for more information.\n";
        return kExitUsage;
    }
    return Run(app, a);
}
