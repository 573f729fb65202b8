// vokta4-cli: the VR-3900 firmware update in a terminal.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "app/native_host.h"
#include "app/updater_dialog.h"
#include "frontends/cli/console_view.h"
#include "frontends/cli/firmware_commands.h"
#include "image/boot_loader_image.h"
#include "memory/radio_memory.h"
#include "frontends/cli/console_platform.h"
#include "serial/port_backend.h"
#include "res/resource.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitIntact = 1;
constexpr int kExitAfterErase = 2;
constexpr int kExitUsage = 64;

// With --port, only that port is probed.
class OnePortHost : public NativeHost {
public:
    explicit OnePortHost(std::string port) : m_port(std::move(port)) {}
    bool EnumeratePorts(std::vector<std::string>& names) override
    {
        names = m_port.empty() ? std::vector<std::string>() : std::vector<std::string>{m_port};
        return true;
    }

private:
    std::string m_port;
};

ConsoleView::Settings ViewSettings(bool yes)
{
    ConsoleView::Settings s;
    s.assumeYes = yes;
    s.interactive = StdoutIsTerminal();
    s.answerFd = 0;
    return s;
}

int RunPorts()
{
    NativeHost host;
    ConsoleView view(ViewSettings(false), stdout);
    UpdaterDialog dialog(view, host);
    view.SetDialog(&dialog);
    dialog.OnInitDialog("");
    const std::string selected = view.SelectedPort();
    const std::vector<std::string>& usable = view.Ports();
    for (const std::string& p : usable) {
        const std::string about = NativeHost::PortDescription(p);
        std::cout << (p == selected ? "* " : "  ") << p << (about.empty() ? "" : "  " + about) << "\n";
    }
    // The ports that exist but do not open, each with its reason.
    std::vector<std::string> all;
    host.EnumeratePorts(all);
    for (const std::string& p : all) {
        if (std::find(usable.begin(), usable.end(), p) != usable.end())
            continue;
        std::unique_ptr<PortBackend> probe = host.MakePortBackend();
        std::string error;
        if (!probe->Open(p, error))
            std::cout << "  " << p << "  not usable: " << error << "\n";
    }
    if (usable.empty())
        std::cerr << "vokta4-cli: no serial port could be opened\n";
    return usable.empty() ? kExitIntact : kExitDone;
}

struct WriteArgs {
    std::string port;
    std::string firmware;
    std::string dataFile;
    std::string channelData;
    std::string bootImage;
    std::string trace;
    bool test = false;
    bool yes = false;
};

// The exact command that writes a radio again with its saved channel data.
// Paths are made absolute, so that it works from any folder.
std::string RestoreCommand(const WriteArgs& args, const std::string& port, const std::string& firmware,
                           const std::string& backup)
{
    auto absolute = [](const std::string& p) { return std::filesystem::absolute(p).string(); };
    std::string cmd = "vokta4-cli write --port '" + port + "' --firmware '" + absolute(firmware) +
                      "' --channel-data '" + absolute(backup) + "'";
    if (args.test)
        cmd += " --test";
    if (!args.dataFile.empty())
        cmd += " --data-file '" + absolute(args.dataFile) + "'";
    return cmd;
}

// Checks every input file before the radio is touched. False (with a
// message on stderr) when one is unusable.
bool PrepareInputs(const WriteArgs& args, UpdateOptions& options)
{
    if (!args.channelData.empty()) {
        std::ifstream in(args.channelData, std::ios::binary);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::cerr << "vokta4-cli: cannot read " << args.channelData << "\n";
            return false;
        }
        if (data.size() != kChannelSize) {
            std::cerr << "vokta4-cli: " << args.channelData << " holds " << data.size()
                      << " bytes; a channel-data backup holds exactly " << kChannelSize << "\n";
            return false;
        }
        options.channelData = std::move(data);
    }
    if (!args.bootImage.empty()) {
        BootLoaderImage image;
        std::string error;
        if (!BootLoaderImage::LoadS19(args.bootImage, image, error)) {
            std::cerr << "vokta4-cli: " << error << "\n";
            return false;
        }
        options.bootImageFile = args.bootImage;
    }
    return true;
}

// Writes every chunk sent and received: seconds since the start, TX or RX,
// the bytes in hex.
class TraceFile {
public:
    bool Open(const std::string& path)
    {
        m_file = std::fopen(path.c_str(), "w");
        m_start = std::chrono::steady_clock::now();
        return m_file != nullptr;
    }
    ~TraceFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    void Record(bool sent, const std::uint8_t* data, std::size_t length)
    {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(m_file, "%.6f %s", t, sent ? "TX" : "RX");
        for (std::size_t i = 0; i < length; ++i)
            std::fprintf(m_file, " %02X", data[i]);
        std::fputc('\n', m_file);
    }

private:
    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};

int RunWrite(const WriteArgs& args)
{
    std::unique_ptr<NativeHost> host =
        args.port.empty() ? std::make_unique<NativeHost>() : std::make_unique<OnePortHost>(args.port);
    ConsoleView view(ViewSettings(args.yes), stdout);
    UpdaterDialog dialog(view, *host);
    view.SetDialog(&dialog);
    dialog.Options().dataFilePath = args.dataFile;
    if (!PrepareInputs(args, dialog.Options()))
        return kExitIntact;
    TraceFile trace;
    if (!args.trace.empty()) {
        if (!trace.Open(args.trace)) {
            std::cerr << "vokta4-cli: cannot write " << args.trace << "\n";
            return kExitIntact;
        }
        dialog.Serial().SetTrafficObserver(
            [&trace](bool sent, const std::uint8_t* d, std::size_t n) { trace.Record(sent, d, n); });
    }
    dialog.Options().onNote = [&view](const std::string& note) {
        view.FinishOutput();
        std::fflush(stdout);
        std::cerr << "vokta4-cli: " << note << std::endl;
    };
    // Ctrl-C (and SIGTERM) act as CLOSE.
    InterruptSource interrupts([&view] { view.Interrupt(); });

    dialog.OnInitDialog(args.test ? "-T" : "");
    std::cout << view.Title() << std::endl;
    if (!args.port.empty())
        view.ForcePort(args.port);
    if (!args.firmware.empty())
        view.SetFirmwarePath(args.firmware);
    if (view.FirmwarePath().empty())
        std::cerr << "vokta4-cli: no firmware file (*.002) beside the program; give one with --firmware\n";

    if (!view.Interrupted())
        dialog.OnWrite();
    view.FinishOutput();
    dialog.OnDestroy();

    switch (dialog.LastOutcome()) {
    case UpdateOutcome::Done:
        return kExitDone;
    case UpdateOutcome::FailedAfterErase: {
        std::cerr << "vokta4-cli: the radio's flash was erased and it needs another update.\n";
        if (!dialog.ChannelBackupPath().empty()) {
            std::cerr << "vokta4-cli: its channel data is saved in " << dialog.ChannelBackupPath() << "\n"
                      << "vokta4-cli: update it again, with that channel data, by:\n  "
                      << RestoreCommand(args, dialog.Port(), view.FirmwarePath(), dialog.ChannelBackupPath())
                      << "\n";
        }
        return kExitAfterErase;
    }
    default:
        return kExitIntact;
    }
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

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports that open (* = the saved port), and why others do not");

    std::string firmwareFile, imageFile;
    CLI::App* check = app.add_subcommand("check", "report what a firmware file holds and whether the update accepts it");
    check->add_option("FILE", firmwareFile, "firmware file (S-records)")->required();
    CLI::App* convert = app.add_subcommand("convert", "write the 131072-byte image the update would write");
    convert->add_option("FILE", firmwareFile, "firmware file (S-records)")->required();
    convert->add_option("-o,--output", imageFile, "image file to write")->required();

    WriteArgs w;
    CLI::App* write = app.add_subcommand("write", "update the radio's firmware");
    write->add_option("--port", w.port, "serial port (default: the saved port if it opens, else the first)");
    write->add_option("--firmware", w.firmware, "firmware file (default: the first *.002 beside the program)");
    write->add_option("--data-file", w.dataFile, "data file (default: vokt.tmp beside the program)");
    write->add_flag("-t,--test", w.test, "TEST mode");
    write->add_flag("-y,--yes", w.yes, "answer OK to \"Power Supply?\"");
    write->add_option("--channel-data", w.channelData,
                      "write this 16384-byte channel-data backup instead of the radio's own channel data");
    write->add_option("--boot-image", w.bootImage, "upload this S1 boot program instead of the built-in one");
    write->add_option("--trace", w.trace, "write every byte sent and received to this file");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    if (*ports)
        return RunPorts();
    if (*check)
        return RunCheck(firmwareFile);
    if (*convert)
        return RunConvert(firmwareFile, imageFile);
    return RunWrite(w);
}
