// Where the program keeps its files: a portable folder, or an installed
// program's per-user folders.
#include <filesystem>
#include <fstream>

#include "platform/calendar.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

// A folder the user's files may be written to.
bool Writable(const std::string& folder)
{
    const fs::path probe = fs::u8path(folder) / ".vokta4-write-probe";
    bool ok;
    {
        std::ofstream out(probe);
        ok = out.is_open();
    }
    std::error_code ec;
    fs::remove(probe, ec);
    return ok;
}

// What an installer leaves: a package's layout (prefix/bin beside
// prefix/share/doc/vokta4), or the Windows installer's note beside the
// programs. Whether the folder can be written says nothing: an
// administrator can write Program Files.
bool PackageLayout(const std::string& dir)
{
    std::error_code ec;
    return fs::exists(fs::u8path(dir) / ".." / "share" / "doc" / "vokta4", ec) ||
           fs::exists(fs::u8path(dir) / "vokta4-installed.txt", ec);
}

}  // namespace

bool Host::Installed()
{
    const std::string dir = DirectoryOf(ModuleFileName());
    return PackageLayout(dir) || !Writable(dir);
}

bool Host::ReadOnlyProgramFolder()
{
    const std::string dir = DirectoryOf(ModuleFileName());
    return !PackageLayout(dir) && !Writable(dir);
}

std::string Host::DataFolder()
{
    return Installed() ? UserStateFolder() : DirectoryOf(ModuleFileName());
}

std::string Host::UserStateFolder()
{
    const std::string folder = UserFolder("XDG_STATE_HOME", ".local/state");
    std::error_code ec;
    fs::create_directories(fs::u8path(folder), ec);
    return folder;
}

// A portable folder that cannot be written (a write-protected stick) still
// gives its own inputs: the firmware, the boot program and the catalogue
// beside the program come first; only the outputs go to the user's folders.
std::string Host::FirmwareFolder()
{
    if (!Installed() || ReadOnlyProgramFolder())
        return DirectoryOf(ModuleFileName());
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return ec ? std::string() : (here / "").u8string();
}

std::vector<std::string> Host::CataloguePlaces()
{
    if (!Installed())
        return {DirectoryOf(ModuleFileName()) + "vokta4-approved.jsonl"};
    std::vector<std::string> places = {ShopFolder() + "approved.jsonl",
                                       UserFolder("XDG_CONFIG_HOME", ".config") + "approved.jsonl"};
    if (ReadOnlyProgramFolder())
        places.insert(places.begin(), DirectoryOf(ModuleFileName()) + "vokta4-approved.jsonl");
    return places;
}

std::vector<std::string> Host::BootProgramPlaces()
{
    if (!Installed())
        return {DirectoryOf(ModuleFileName()) + "boot.s19"};
    std::vector<std::string> places = {UserFolder("XDG_CONFIG_HOME", ".config") + "boot.s19"};
    places.push_back(ShopFolder() + "boot.s19");  // the machine's, for every user
    if (ReadOnlyProgramFolder())
        places.insert(places.begin(), DirectoryOf(ModuleFileName()) + "boot.s19");
    return places;
}
