#pragma once
#include <memory>
#include <string>
#include <vector>

class PortBackend;

// What the system tells of a port's adapter (empty where it tells nothing).
struct PortDetails {
    std::string description;  // "FT232R USB UART"
    std::string vidPid;       // "0403:6001"
    std::string serial;       // the adapter's serial number
    std::string location;     // where a USB adapter is plugged: "1-1.2" (bus 1, hub port 1, its port 2)
};

// What the dialog asks of the operating system. Each platform provides a
// NativeHost; tests derive from it to redirect ports, profile and folders.
class Host {
public:
    virtual ~Host() = default;

    // Candidate port names in enumeration order, before any probing. False
    // when the system's enumeration failed.
    virtual bool EnumeratePorts(std::vector<std::string>& names) = 0;
    virtual std::unique_ptr<PortBackend> MakePortBackend() = 0;
    // Full path of the running executable.
    virtual std::string ModuleFileName() = 0;
    // The first file in `directory` whose name ends with `extension`, in the
    // platform's enumeration order; empty when there is none.
    virtual std::string FirstFileWithExtension(const std::string& directory, const std::string& extension) = 0;
    virtual std::string ReadProfileValue(const std::string& section, const std::string& key,
                                         const std::string& fallback) = 0;
    virtual bool WriteProfileValue(const std::string& section, const std::string& key,
                                    const std::string& value) = 0;
    virtual PortDetails DescribePort(const std::string&) { return PortDetails(); }

    // Where the program keeps its files. A portable folder (the program
    // beside its files, the folder writable) keeps everything beside the
    // program; an installed program keeps the data file, backups and
    // service record in the user's state folder, takes the firmware from the
    // current folder and the boot program from the configuration folders.
    virtual bool Installed();
    // True when the program's folder is no package's and cannot be written:
    // a portable folder on a read-only medium, whose files are then kept
    // as an installed program's are.
    virtual bool ReadOnlyProgramFolder();
    // The folder of the data file, the backups and the service record (ends
    // with a separator; created when needed).
    virtual std::string DataFolder();
    // The user's own state folder (ends with a separator; created when
    // needed): it keeps the per-user journal of unfinished updates whatever
    // data folder an update uses.
    virtual std::string UserStateFolder();
    // The folder searched for the first *.002 (ends with a separator).
    virtual std::string FirmwareFolder();
    // The places a boot program is looked for, in order.
    virtual std::vector<std::string> BootProgramPlaces();
    // The places of the catalogue of approved firmware, in order: the first
    // that exists is in force. A portable folder keeps it beside the
    // program; an installed program takes the shop's (which a technician
    // cannot edit) before the user's own.
    virtual std::vector<std::string> CataloguePlaces();
};

// Where the files are, in words for the technician (several lines).
std::string DescribeFilePlaces(Host& host);

// The host of the platform this program was built for.
std::unique_ptr<Host> MakeNativeHost();
