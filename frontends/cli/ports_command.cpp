// `vokta4-cli ports`: the ports that open (* = the one the update would
// take), and the reason of each that does not.
#include <algorithm>
#include <iostream>

#include "dialog/updater_dialog.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/console_view.h"
#include "platform/native_host.h"
#include "serial/port_backend.h"

void ExplainRefusedPorts(NativeHost& host, const std::vector<std::string>& usable, std::ostream& out,
                         const std::string& prefix)
{
    std::vector<std::string> all;
    host.EnumeratePorts(all);
    for (const std::string& p : all) {
        if (std::find(usable.begin(), usable.end(), p) != usable.end())
            continue;
        std::unique_ptr<PortBackend> probe = host.MakePortBackend();
        std::string error;
        if (!probe->Open(p, error))
            out << prefix << p << "  not usable: " << error << "\n";
    }
}

int RunPorts()
{
    NativeHost host;
    ConsoleView view(ConsoleView::TerminalSettings(false), stdout);
    UpdaterDialog dialog(view, view.Pump(), host);
    view.SetDialog(&dialog);
    dialog.OnInitDialog("");
    const std::string selected = view.SelectedPort();
    const std::vector<std::string>& usable = view.Ports();
    for (const std::string& p : usable) {
        const std::string about = NativeHost::PortDescription(p);
        std::cout << (p == selected ? "* " : "  ") << p << (about.empty() ? "" : "  " + about) << "\n";
    }
    // The ports that exist but do not open, each with its reason.
    ExplainRefusedPorts(host, usable, std::cout, "  ");
    std::cout << "\nfiles, " << DescribeFilePlaces(host) << "\n";
    if (usable.empty())
        std::cerr << "vokta4-cli: no serial port could be opened\n";
    return usable.empty() ? kExitIntact : kExitDone;
}
