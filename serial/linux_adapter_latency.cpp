// The adapter's latency timer on Linux, from sysfs: a tty's device link
// leads into the USB tree for a USB adapter, and a usb-serial driver that
// has a latency timer publishes it there as `latency_timer`.
#include <climits>
#include <cstdlib>
#include <fstream>

#include "serial/adapter_latency.h"
#include "serial/linux_adapter_latency.h"
#include "serial/linux_port_backend.h"

namespace {

std::string Resolved(const std::string& path)
{
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
}

std::string TtyName(const std::string& devicePath)
{
    const std::string resolved = Resolved(devicePath);
    const std::string& path = resolved.empty() ? devicePath : resolved;
    return path.substr(path.find_last_of('/') + 1);
}

}  // namespace

std::string LatencyTimerPath(const std::string& sysRoot, const std::string& port)
{
    return sysRoot + "/class/tty/" + TtyName(LinuxPortBackend::DevicePath(port)) + "/device/latency_timer";
}

AdapterLatency ReadAdapterLatencyIn(const std::string& sysRoot, const std::string& port)
{
    AdapterLatency latency;
    const std::string devicePath = LinuxPortBackend::DevicePath(port);
    if (Resolved(devicePath).rfind("/dev/pts/", 0) == 0) {
        latency.kind = AdapterLatency::Kind::NotUsb;
        return latency;
    }
    const std::string ttyDir = sysRoot + "/class/tty/" + TtyName(devicePath);
    if (Resolved(ttyDir).empty())
        return latency;  // the system tells nothing of it
    // A tty without a device (a console, a pseudo-terminal) or one whose
    // device is not on a USB bus has no adapter in the way.
    const std::string device = Resolved(ttyDir + "/device");
    if (device.empty() || device.find("/usb") == std::string::npos) {
        latency.kind = AdapterLatency::Kind::NotUsb;
        return latency;
    }
    std::ifstream timer(device + "/latency_timer");
    int ms = -1;
    if (timer >> ms && ms >= 0) {
        latency.kind = AdapterLatency::Kind::Known;
        latency.ms = ms;
    }
    return latency;
}

AdapterLatency ReadAdapterLatency(const std::string& port)
{
    return ReadAdapterLatencyIn("/sys", port);
}

std::string LatencyAdviceText(const std::string& port, const AdapterLatency& latency)
{
    if (latency.kind != AdapterLatency::Kind::Known || latency.ms <= kHighAdapterLatencyMs)
        return std::string();
    return port + ": the USB adapter holds each short reply of the radio up to " + std::to_string(latency.ms) +
           " ms (its latency timer), which makes an update slower; to lower it to 1 ms until the adapter is "
           "unplugged: echo 1 | sudo tee " + LatencyTimerPath("/sys", port);
}
