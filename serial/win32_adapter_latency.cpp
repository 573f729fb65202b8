#include "serial/adapter_latency.h"
#include "serial/win32_port_device.h"

AdapterLatency ReadAdapterLatency(const std::string& port)
{
    AdapterLatency latency;
    const std::string name = port.compare(0, 4, "\\\\.\\") == 0 ? port.substr(4) : port;
    Win32PortDevice device;
    if (!FindPortDevice(name, device))
        return latency;
    if (VidPidOf(device.hardwareId).empty() && VidPidOf(device.instanceId).empty()) {
        latency.kind = AdapterLatency::Kind::NotUsb;
        return latency;
    }
    if (device.hasLatency) {
        latency.kind = AdapterLatency::Kind::Known;
        latency.ms = static_cast<int>(device.latencyMs);
    }
    return latency;
}

// The program never changes the system's settings: it says where the
// technician changes it.
std::string LatencyAdviceText(const std::string& port, const AdapterLatency& latency)
{
    if (latency.kind != AdapterLatency::Kind::Known || latency.ms <= kHighAdapterLatencyMs)
        return std::string();
    return port + ": the USB adapter holds each short reply of the radio up to " + std::to_string(latency.ms) +
           " ms (its latency timer), which makes an update slower; to lower it: Device Manager > Ports (COM & "
           "LPT) > " + port + " > Properties > Port Settings > Advanced > Latency Timer (msec): 1";
}
