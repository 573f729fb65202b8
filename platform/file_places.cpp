// Where the program keeps its files: a portable folder, or an installed
// program's per-user folders.
#include <cstdlib>
#include <filesystem>

#include "platform/host.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

// A folder the user's files may be written to.
bool Writable(const std::string& folder)
{
    std::error_code ec;
    const fs::path probe = fs::u8path(folder) / ".vokta4-write-probe";
    {
        std::FILE* f = nullptr;
#ifdef _WIN32
        f = _wfopen(probe.wstring().c_str(), L"wb");
#else
        f = std::fopen(probe.c_str(), "wb");
#endif
        if (!f)
            return false;
        std::fclose(f);
    }
    fs::remove(probe, ec);
    return true;
}

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : std::string();
}

// $XDG_<kind>_HOME, else ~/<fallback>; %LOCALAPPDATA% on Windows.
std::string UserFolder(const char* xdg, const char* fallback)
{
#ifdef _WIN32
    (void)xdg;
    (void)fallback;
    const std::string base = Env("LOCALAPPDATA");
    return (base.empty() ? std::string(".") : base) + "\\VOKTA4\\";
#else
    std::string base = Env(xdg);
    if (base.empty())
        base = Env("HOME").empty() ? std::string(".") : Env("HOME") + "/" + fallback;
    return base + "/vokta4/";
#endif
}

}  // namespace

bool Host::Installed()
{
    const std::string dir = DirectoryOf(ModuleFileName());
    std::error_code ec;
    // A package's layout (prefix/bin beside prefix/share/doc/vokta4), or a
    // folder the user cannot write to.
    return fs::exists(fs::u8path(dir) / ".." / "share" / "doc" / "vokta4", ec) || !Writable(dir);
}

std::string Host::DataFolder()
{
    if (!Installed())
        return DirectoryOf(ModuleFileName());
    const std::string folder = UserFolder("XDG_STATE_HOME", ".local/state");
    std::error_code ec;
    fs::create_directories(fs::u8path(folder), ec);
    return folder;
}

std::string Host::FirmwareFolder()
{
    if (!Installed())
        return DirectoryOf(ModuleFileName());
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return ec ? std::string() : (here / "").u8string();
}

std::vector<std::string> Host::BootProgramPlaces()
{
    if (!Installed())
        return {DirectoryOf(ModuleFileName()) + "boot.s19"};
#ifdef _WIN32
    return {UserFolder("", "") + "boot.s19"};
#else
    return {UserFolder("XDG_CONFIG_HOME", ".config") + "boot.s19", "/etc/vokta4/boot.s19"};
#endif
}
