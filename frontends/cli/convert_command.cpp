// `vokta4-cli convert FILE -o IMAGE`: the image the update would write.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "frontends/cli/commands.h"
#include "frontends/cli/firmware_file.h"
#include "image/firmware_image.h"
#include "platform/native_host.h"
#include "update/output_guard.h"

int RunConvert(const std::string& path, const std::string& output, bool allowIncomplete)
{
    NativeHost host;
    const std::string dataFile = host.DataFolder() + "vokt.tmp";
    std::vector<GuardedFile> guarded = KeptFiles(host, dataFile);
    guarded.push_back({"the firmware file", path});
    guarded.push_back({"the data file", dataFile});
    const std::string conflict = OutputConflict("-o " + output, output, guarded);
    if (!conflict.empty()) {
        std::cerr << "vokta4-cli: " << conflict << "\n";
        return 1;
    }
    FirmwareImage image;
    if (!LoadFirmwareFile(path, image))
        return 1;
    if (!image.Acceptable()) {
        ExplainRefusal(path, image);
        return 1;
    }
    const std::string cutShort = image.CutShort(path);
    if (!cutShort.empty()) {
        std::cerr << "vokta4-cli: " << cutShort << (allowIncomplete ? "; converted anyway, as asked\n"
                                                                     : ": refused (--allow-incomplete converts it anyway)\n");
        if (!allowIncomplete)
            return 1;
    }
    // The stream keeps no reason of its own: the system's (errno) is named.
    errno = 0;
    std::ofstream out(std::filesystem::u8path(output), std::ios::binary | std::ios::trunc);
    if (out.is_open())
        out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    if (out.is_open() && out.flush())
        out.close();
    if (!out) {
        const int reason = errno;
        std::cerr << "vokta4-cli: " << output << ": cannot be written: "
                  << (reason != 0 ? std::strerror(reason) : "the system gave no reason") << "\n";
        return 1;
    }
    return 0;
}
