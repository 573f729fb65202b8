#pragma once
#include <string>

// What the system's device list tells of the device behind a COM port.
struct Win32PortDevice {
    std::string description;  // the name Device Manager shows
    std::string hardwareId;   // "USB\VID_0403&PID_6001&REV_0600", "ACPI\PNP0501"
    std::string instanceId;   // "USB\VID_10C4&PID_EA60\0001", "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"
    bool hasLatency = false;  // the driver publishes a latency timer
    unsigned latencyMs = 0;
};

// Looks up the present port device named `comName` ("COM3"); false when
// the system lists none (a port of wine, a redirected or virtual port).
bool FindPortDevice(const std::string& comName, Win32PortDevice& device);

// "0403:6001" from a hardware or instance ID; empty when it names no USB
// vendor and product.
std::string VidPidOf(const std::string& id);
// The adapter's serial number from its instance ID; empty when the system
// made the ID up because the adapter has none.
std::string SerialOf(const std::string& instanceId);
