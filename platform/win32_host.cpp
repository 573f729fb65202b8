// The host on Windows.
#include <windows.h>
#include <shlobj.h>
#include <winspool.h>

#include <cstdlib>
#include <vector>

#include "platform/host.h"
#include "platform/native_host.h"
#include "serial/win32_port_backend.h"

bool NativeHost::EnumeratePorts(std::vector<std::string>& names)
{
    names.clear();
    if (const char* env = std::getenv("VOKTA4_PORTS")) {
        names = SplitPortList(env, ';');  // ':' belongs to drive names here
        return true;
    }
    // Ask for the size first: a fixed buffer fails on machines with many ports.
    DWORD needed = 0, count = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsA(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
        return false;
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const char* raw = ports[i].pPortName;
        if (!raw || std::string(raw).compare(0, 3, "COM") != 0)
            continue;
        std::string name;
        for (const char* p = raw; *p; ++p) {
            if (*p != ':')
                name += *p;
        }
        names.push_back(name);
    }
    return true;
}

std::unique_ptr<PortBackend> NativeHost::MakePortBackend()
{
    return std::make_unique<Win32PortBackend>();
}

std::string NativeHost::ModuleFileName()
{
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

std::string NativeHost::FirstFileWithExtension(const std::string& directory, const std::string& extension)
{
    // The module directory ends with a separator; the doubled one is accepted.
    WIN32_FIND_DATAA found{};
    HANDLE h = FindFirstFileA((directory + "\\*" + extension).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    FindClose(h);
    return found.cFileName;
}

std::string NativeHost::ProfilePath()
{
    char appData[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData) != S_OK)
        return "VOKTA4.INI";
    return std::string(appData) + "\\VOKTA4\\VOKTA4.INI";
}

std::string NativeHost::PortDescription(const std::string&)
{
    return std::string();
}

std::string NativeHost::ReadProfileValue(const std::string& section, const std::string& key,
                                         const std::string& fallback)
{
    char value[512] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value, sizeof value,
                             ProfilePath().c_str());
    return value;
}

bool NativeHost::WriteProfileValue(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string path = ProfilePath();
    CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
}

std::unique_ptr<Host> MakeNativeHost()
{
    return std::make_unique<NativeHost>();
}
