#include "platform/port_probe.h"

#include <algorithm>

#include "platform/host.h"
#include "serial/port_backend.h"

PortProbe ProbePorts(Host& host, const std::string& saved)
{
    PortProbe probe;
    std::vector<std::string> names;
    probe.enumerated = host.EnumeratePorts(names);
    if (!probe.enumerated)
        return probe;  // what a failed enumeration left is not a list
    for (const std::string& name : names) {
        std::unique_ptr<PortBackend> port = host.MakePortBackend();
        std::string error;
        if (!port->Open(name, error)) {
            probe.refused.emplace_back(name, error);
            continue;
        }
        if (std::string advice = port->LatencyAdvice(); !advice.empty())
            probe.latencyAdvice[name] = advice;
        port->Close();
        probe.usable.push_back(name);
    }
    if (!probe.usable.empty())
        probe.selected = std::find(probe.usable.begin(), probe.usable.end(), saved) != probe.usable.end()
                             ? saved
                             : probe.usable.front();
    return probe;
}
