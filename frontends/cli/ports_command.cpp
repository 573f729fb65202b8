// `vokta4-cli ports`: the ports that open (* = the one the update would
// take) with their adapter and its latency timer, and the reason of each
// that does not.
#include <iostream>

#include "frontends/cli/commands.h"
#include "platform/native_host.h"
#include "platform/port_probe.h"
#include "res/resource.h"
#include "serial/adapter_latency.h"

namespace {

// "FT232R USB UART, VID:PID 0403:6001, serial A50285BI, latency timer 16 ms",
// "not a USB adapter".
std::string DescribeAdapter(NativeHost& host, const std::string& port)
{
    const AdapterLatency latency = ReadAdapterLatency(port);
    const PortDetails d = host.DescribePort(port);
    std::string text;
    auto add = [&text](const std::string& part) {
        if (!part.empty())
            text += (text.empty() ? "" : ", ") + part;
    };
    if (latency.kind != AdapterLatency::Kind::NotUsb || !d.vidPid.empty()) {
        add(d.description);
        add(d.vidPid.empty() ? std::string() : "VID:PID " + d.vidPid);
        add(d.serial.empty() ? std::string() : "serial " + d.serial);
    }
    add(latency.kind == AdapterLatency::Kind::NotUsb && !d.vidPid.empty() ? "latency timer unknown"
                                                                          : DescribeLatency(latency));
    return text;
}

}  // namespace

int RunPorts()
{
    NativeHost host;
    const PortProbe probe =
        ProbePorts(host, host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, PROFILE_DEFAULT_PORT));
    if (!probe.enumerated)
        std::cerr << "vokta4-cli: the system's list of serial ports could not be read\n";
    for (const std::string& p : probe.usable) {
        std::cout << (p == probe.selected ? "* " : "  ") << p << "  " << DescribeAdapter(host, p) << "\n";
        if (const auto advice = probe.latencyAdvice.find(p); advice != probe.latencyAdvice.end())
            std::cout << "      " << advice->second << "\n";
    }
    // The ports that exist but do not open, each with its reason.
    for (const auto& [port, reason] : probe.refused)
        std::cout << "  " << port << "  not usable: " << reason << "\n";
    std::cout << "\nfiles, " << DescribeFilePlaces(host) << "\n";
    if (probe.usable.empty())
        std::cerr << "vokta4-cli: no serial port could be opened\n";
    return probe.usable.empty() ? kExitIntact : kExitDone;
}
