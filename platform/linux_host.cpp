// The host on Linux and other POSIX systems.
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <libserialport.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/adapter_list.h"
#include "platform/host.h"
#include "platform/ini_profile.h"
#include "platform/native_host.h"
#include "serial/linux_port_backend.h"

namespace {

// Where a USB serial device is plugged, from its device's path in sysfs:
// ".../usb1/1-1/1-1.2/1-1.2:1.0/ttyUSB0" gives "1-1.2". Empty when unknown.
std::string UsbLocation(const std::string& devicePath)
{
    const std::string tty = devicePath.substr(devicePath.find_last_of('/') + 1);
    char resolved[PATH_MAX];
    if (!::realpath(("/sys/class/tty/" + tty + "/device").c_str(), resolved))
        return std::string();
    std::string path = resolved, location;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        const std::size_t colon = part.find(':');
        if (colon != std::string::npos && part.find('-') < colon)
            location = part.substr(0, colon);  // an interface: "1-1.2:1.0"
        start = end + 1;
    }
    return location;
}

}  // namespace

bool NativeHost::EnumeratePorts(std::vector<std::string>& names)
{
    names.clear();
    if (SimulatedAdapterPorts(names))
        return true;
    if (const char* env = std::getenv("VOKTA4_PORTS")) {
        names = SplitPortList(env, ':');
        return true;
    }
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK)
        return false;
    for (sp_port** p = list; *p; ++p)
        names.emplace_back(sp_get_port_name(*p));
    sp_free_port_list(list);
    return true;
}

PortDetails NativeHost::DescribePort(const std::string& name)
{
    PortDetails details;
    if (SimulatedAdapterDetails(name, details))
        return details;
    sp_port* port = nullptr;
    if (sp_get_port_by_name(LinuxPortBackend::DevicePath(name).c_str(), &port) != SP_OK)
        return details;
    if (const char* d = sp_get_port_description(port))
        details.description = d;
    int vid = 0, pid = 0;
    if (sp_get_port_transport(port) == SP_TRANSPORT_USB && sp_get_port_usb_vid_pid(port, &vid, &pid) == SP_OK) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04X:%04X", vid, pid);
        details.vidPid = ids;
        if (const char* serial = sp_get_port_usb_serial(port))
            details.serial = serial;
        details.location = UsbLocation(LinuxPortBackend::DevicePath(name));
    }
    sp_free_port(port);
    return details;
}

std::unique_ptr<PortBackend> NativeHost::MakePortBackend()
{
    return std::make_unique<LinuxPortBackend>();
}

std::string NativeHost::ModuleFileName()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string NativeHost::FirstFileWithExtension(const std::string& directory, const std::string& extension)
{
    // Directory order is arbitrary on Linux; the first by name is used.
    std::vector<std::string> matches;
    if (DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > extension.size() &&
                name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
                struct stat st {};
                if (::stat((directory + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    matches.push_back(name);
            }
        }
        ::closedir(dir);
    }
    if (matches.empty())
        return std::string();
    return *std::min_element(matches.begin(), matches.end());
}

std::string NativeHost::ProfilePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/vokta4/vokta4.ini";
}

std::string NativeHost::ReadProfileValue(const std::string& section, const std::string& key,
                                         const std::string& fallback)
{
    return ReadIniString(ProfilePath(), section, key, fallback);
}

bool NativeHost::WriteProfileValue(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string path = ProfilePath();
    const std::string dir = path.substr(0, path.find_last_of('/'));
    const std::string parent = dir.substr(0, dir.find_last_of('/'));
    ::mkdir(parent.c_str(), 0755);
    ::mkdir(dir.c_str(), 0755);
    return WriteIniString(path, section, key, value);
}

std::unique_ptr<Host> MakeNativeHost()
{
    return std::make_unique<NativeHost>();
}
