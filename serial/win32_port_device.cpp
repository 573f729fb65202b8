// The device behind a COM port through SetupAPI: the Ports class lists each
// port's device, whose "Device Parameters" key names the port (PortName) and,
// for drivers that have one, the adapter's latency timer (LatencyTimer).
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <cctype>
#include <vector>

#include "serial/win32_port_device.h"
#include "serial/win32_text.h"

namespace {

std::wstring RegistryText(HKEY key, const wchar_t* name)
{
    wchar_t value[256] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    return value;
}

bool RegistryNumber(HKEY key, const wchar_t* name, unsigned& number)
{
    DWORD value = 0, bytes = sizeof value, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    number = value;
    return true;
}

// A text property of the device; for a list (the hardware IDs) its first entry.
std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property)
{
    std::vector<wchar_t> value(512, L'\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, reinterpret_cast<BYTE*>(value.data()),
                                           static_cast<DWORD>((value.size() - 2) * sizeof(wchar_t)), nullptr))
        return std::string();
    return WideToUtf8(value.data());
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The 4 hex digits after `tag` in `id` ("VID_" in "USB\VID_0403&PID_6001").
std::string HexAfter(const std::string& id, const char* tag)
{
    const std::size_t at = id.find(tag);
    if (at == std::string::npos || at + 8 > id.size())
        return std::string();
    const std::string digits = id.substr(at + 4, 4);
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::string();
    }
    return digits;
}

}  // namespace

bool FindPortDevice(const std::string& comName, Win32PortDevice& device)
{
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        found = Upper(WideToUtf8(RegistryText(key, L"PortName"))) == Upper(comName);
        if (found)
            device.hasLatency = RegistryNumber(key, L"LatencyTimer", device.latencyMs);
        RegCloseKey(key);
        if (!found)
            continue;
        device.description = DeviceText(set, info, SPDRP_FRIENDLYNAME);
        if (device.description.empty())
            device.description = DeviceText(set, info, SPDRP_DEVICEDESC);
        device.hardwareId = DeviceText(set, info, SPDRP_HARDWAREID);
        wchar_t instance[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &info, instance, 511, nullptr))
            device.instanceId = WideToUtf8(instance);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::string VidPidOf(const std::string& id)
{
    const std::string upper = Upper(id);
    const std::string vid = HexAfter(upper, "VID_"), pid = HexAfter(upper, "PID_");
    return vid.empty() || pid.empty() ? std::string() : vid + ":" + pid;
}

std::string SerialOf(const std::string& instanceId)
{
    const std::size_t first = instanceId.find('\\');
    const std::size_t last = instanceId.rfind('\\');
    if (first == std::string::npos)
        return std::string();
    const std::string bus = Upper(instanceId.substr(0, first));
    if (bus == "USB") {
        // USB\VID_xxxx&PID_xxxx\SERIAL; an ID with '&' there was made up by the system.
        const std::string tail = instanceId.substr(last + 1);
        return last == first || tail.find('&') != std::string::npos ? std::string() : tail;
    }
    if (bus == "FTDIBUS") {
        // FTDIBUS\VID_xxxx+PID_xxxx+SERIALA\0000: the serial number and the port's letter.
        const std::string middle = instanceId.substr(first + 1, last - first - 1);
        const std::size_t plus = middle.rfind('+');
        if (plus == std::string::npos || middle.size() - plus < 3)
            return std::string();
        return middle.substr(plus + 1, middle.size() - plus - 2);
    }
    return std::string();
}
