// The host on Windows. Paths are UTF-8 inside the program and UTF-16 at
// the system's calls.
#include <windows.h>
#include <shlobj.h>
#include <winspool.h>

#include <cstdlib>
#include <vector>

#include "platform/adapter_list.h"
#include "platform/host.h"
#include "platform/native_host.h"
#include "platform/paths.h"
#include "platform/win32_text.h"
#include "serial/win32_port_backend.h"
#include "serial/win32_port_device.h"

namespace {

// "COM10:" gives "COM10"; names that do not start with "COM" are not ports.
bool TakeComPort(const std::string& raw, std::vector<std::string>& names)
{
    if (raw.compare(0, 3, "COM") != 0)
        return false;
    std::string name;
    for (char c : raw) {
        if (c != ':')
            name += c;
    }
    names.push_back(name);
    return true;
}

// The print spooler's port list; false when the spooler does not answer.
bool SpoolerPorts(std::vector<std::string>& names)
{
    // Ask for the size first: a fixed buffer fails on machines with many ports.
    DWORD needed = 0, count = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsA(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
        return false;
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (ports[i].pPortName)
            TakeComPort(ports[i].pPortName, names);
    }
    return true;
}

// The serial ports the system's drivers have registered, for PCs whose
// print spooler is disabled.
bool RegistryPorts(std::vector<std::string>& names)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        wchar_t data[64];
        DWORD nameLength = 256, dataBytes = sizeof data, type = 0;
        const LONG r = RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                     &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::size_t chars = dataBytes / sizeof(wchar_t);
        TakeComPort(WideToUtf8(std::wstring(data, chars > 0 && data[chars - 1] == L'\0' ? chars - 1 : chars)), names);
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

bool NativeHost::EnumeratePorts(std::vector<std::string>& names)
{
    names.clear();
    if (SimulatedAdapterPorts(names))
        return true;
    if (const wchar_t* env = _wgetenv(L"VOKTA4_PORTS")) {
        names = SplitPortList(WideToUtf8(env), ';');  // ':' belongs to drive names here
        return true;
    }
    const bool spooler = SpoolerPorts(names);
    if (spooler && !names.empty())
        return true;
    names.clear();
    return RegistryPorts(names) || spooler;
}

std::unique_ptr<PortBackend> NativeHost::MakePortBackend()
{
    return std::make_unique<Win32PortBackend>();
}

static std::string RunningProgram()
{
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return WideToUtf8(path);
}

std::string NativeHost::ModuleFileName()
{
    return RunningProgram();
}

std::string NativeHost::FirstFileWithExtension(const std::string& directory, const std::string& extension)
{
    // The module directory ends with a separator; the doubled one is accepted.
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW(Utf8ToWide(directory + "\\*" + extension).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    FindClose(h);
    return WideToUtf8(found.cFileName);
}

std::string NativeHost::ProfilePath()
{
    wchar_t appData[MAX_PATH] = {};
    // A bare file name would send the profile calls to the Windows folder:
    // without a per-user folder the profile lies beside the program.
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData) != S_OK)
        return DirectoryOf(RunningProgram()) + "VOKTA4.INI";
    return WideToUtf8(appData) + "\\VOKTA4\\VOKTA4.INI";
}

PortDetails NativeHost::DescribePort(const std::string& name)
{
    PortDetails details;
    if (SimulatedAdapterDetails(name, details))
        return details;
    Win32PortDevice device;
    if (!FindPortDevice(name.compare(0, 4, "\\\\.\\") == 0 ? name.substr(4) : name, device))
        return details;
    details.description = device.description;
    details.vidPid = VidPidOf(device.hardwareId);
    if (details.vidPid.empty())
        details.vidPid = VidPidOf(device.instanceId);
    if (!details.vidPid.empty())
        details.serial = SerialOf(device.instanceId);
    return details;
}

std::string NativeHost::ReadProfileValue(const std::string& section, const std::string& key,
                                         const std::string& fallback)
{
    wchar_t value[512] = {};
    GetPrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), Utf8ToWide(fallback).c_str(),
                             value, sizeof value / sizeof value[0], Utf8ToWide(ProfilePath()).c_str());
    return WideToUtf8(value);
}

bool NativeHost::WriteProfileValue(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string path = ProfilePath();
    CreateDirectoryW(Utf8ToWide(path.substr(0, path.find_last_of('\\'))).c_str(), nullptr);
    return WritePrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(),
                                      Utf8ToWide(value).c_str(), Utf8ToWide(path).c_str()) != 0;
}

std::unique_ptr<Host> MakeNativeHost()
{
    return std::make_unique<NativeHost>();
}
