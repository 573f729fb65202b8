// `vokta4-cli write`: the update of one radio in a terminal.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <algorithm>

#include "dialog/updater_dialog.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/console_view.h"
#include "frontends/cli/restore_command.h"
#include "frontends/cli/write_options.h"
#include "image/firmware_image.h"
#include "platform/native_host.h"

namespace fs = std::filesystem;

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


// Stop requests in a terminal. The update decides (UpdateJob::AcceptStop):
// before the ROM clear every request ends it as CLOSE does, with the radio
// as it was; from the clear on only a second Ctrl-C stops it. This says
// what each request meant.
class StopPolicy {
public:
    StopPolicy(ConsoleView& view, UpdaterDialog& dialog) : m_view(view), m_dialog(dialog) {}

    void operator()(StopRequest request)
    {
        if (m_dialog.Job().AcceptStop(m_insistence.Insists(request))) {
            m_view.Interrupt();
            return;
        }
        if (request != StopRequest::Interrupt) {
            m_view.PostNote(std::string(request == StopRequest::HangUp ? "the terminal closed" : "asked to stop") +
                            ": the update goes on, as stopping now would leave the radio erased");
            return;
        }
        m_view.PostNote("stopping now leaves the radio's flash erased, and the radio needs another update; "
                        "press Ctrl-C again to stop anyway");
    }

private:
    ConsoleView& m_view;
    UpdaterDialog& m_dialog;
    StopInsistence m_insistence;
};

void ReportAfterErase(const UpdaterDialog& dialog, const WriteArgs& args, const std::string& program,
                      const std::string& firmware)
{
    std::cerr << "vokta4-cli: the radio's flash was erased and it needs another update.\n";
    if (dialog.ChannelBackupPath().empty())
        return;
    std::cerr << "vokta4-cli: its channel data is saved in " << dialog.ChannelBackupPath() << "\n"
              << "vokta4-cli: update it again, with that channel data, by:\n  "
              << RestoreCommand(args, program, dialog.Port(), firmware, dialog.ChannelBackupPath()) << "\n";
}

// A radio refused because its channel data look lost: unchanged by this
// run, but it needs another update with them.
void ReportChannelDataLost(const UpdaterDialog& dialog, const WriteArgs& args, const std::string& program,
                           const std::string& firmware)
{
    const std::vector<std::string>& offered = dialog.OfferedBackups();
    std::cerr << "vokta4-cli: nothing was written, but this radio's channel data look lost: it needs another "
                 "update with them.\n";
    if (offered.empty())
        return;
    std::cerr << "vokta4-cli: if it is the radio of an unfinished update, update it with the channel data that "
                 "update saved, by"
              << (offered.size() > 1 ? " one of:\n" : ":\n");
    for (const std::string& backup : offered)
        std::cerr << "  " << RestoreCommand(args, program, dialog.Port(), firmware, backup) << "\n";
    std::cerr << "vokta4-cli: each command reads the radio first and refuses one that holds channel data of its "
                 "own; a radio never programmed is written blank with --blank-channel-data.\n";
}

}  // namespace

int RunWrite(const WriteArgs& args)
{
    std::unique_ptr<NativeHost> host =
        args.port.empty() ? std::make_unique<NativeHost>() : std::make_unique<OnePortHost>(args.port);
    ConsoleView view(ConsoleView::TerminalSettings(args.yes), stdout);
    UpdaterDialog dialog(view, view.Pump(), *host);
    view.SetDialog(&dialog);
    UpdateRequest& options = dialog.Options();
    // --data-file may name a folder: vokt.tmp goes there.
    std::error_code ec;
    const std::string dataFileArg = !args.dataFile.empty() && fs::is_directory(fs::u8path(args.dataFile), ec)
                                        ? (fs::u8path(args.dataFile) / "vokt.tmp").u8string()
                                        : args.dataFile;
    if (!ApplyWriteArgs(args, false, dataFileArg, options))
        return kExitIntact;
    // Reasons go to stderr as they happen, not into the log's lines.
    dialog.Renderer().reasonsInLog = false;
    dialog.Renderer().onNote = [&view](const std::string& note) { view.PrintNote(note); };
    StopPolicy policy(view, dialog);
    InterruptSource interrupts([&policy](StopRequest request) { policy(request); });

    dialog.OnInitDialog(args.test ? "-T" : "");
    options.verify = args.verify;  // the windows take it from the profile, the command line from --verify
    std::cout << view.Title() << std::endl;
    if (!args.port.empty())
        view.ForcePort(args.port);
    else
        ExplainRefusedPorts(*host, view.Ports(), std::cerr, "vokta4-cli: ");
    if (!args.firmware.empty())
        view.SetFirmwarePath(args.firmware);
    if (view.FirmwarePath().empty())
        std::cerr << "vokta4-cli: no firmware file (*.002) beside the program; give one with --firmware\n";
    // The data file is checked by the update itself, before it is written.
    TraceFile trace;
    if (!AttachTrace(args, trace, dialog.Job(), dialog.RequestFromWindow()))
        return kExitIntact;

    if (!view.Interrupted())
        dialog.OnWrite();
    view.FinishOutput();
    dialog.OnDestroy();
    interrupts.Finished();

    const std::string program = host->ModuleFileName();
    const int status = ExitStatusOf(dialog.LastOutcome());
    switch (status) {
    case kExitDone:
        return kExitDone;
    case kExitAfterErase:
        if (dialog.LastOutcome() == UpdateOutcome::ChannelDataLost)
            ReportChannelDataLost(dialog, args, program, view.FirmwarePath());
        else
            ReportAfterErase(dialog, args, program, view.FirmwarePath());
        return kExitAfterErase;
    default:
        return kExitIntact;
    }
}
