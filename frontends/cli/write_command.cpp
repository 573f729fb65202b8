// `vokta4-cli write`: the update of one radio in a terminal.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "dialog/updater_dialog.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/console_view.h"
#include "frontends/cli/trace_file.h"
#include "image/boot_loader_image.h"
#include "platform/native_host.h"
#include "update/memory_map.h"

namespace {

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

}  // namespace

int RunWrite(const WriteArgs& args)
{
    std::unique_ptr<NativeHost> host =
        args.port.empty() ? std::make_unique<NativeHost>() : std::make_unique<OnePortHost>(args.port);
    ConsoleView view(ConsoleView::TerminalSettings(args.yes), stdout);
    UpdaterDialog dialog(view, view.Pump(), *host);
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
