// `vokta4-cli convert FILE -o IMAGE`: the image the update would write.
#include <fstream>
#include <iostream>

#include "frontends/cli/commands.h"
#include "frontends/cli/firmware_file.h"
#include "image/firmware_image.h"

int RunConvert(const std::string& path, const std::string& output)
{
    FirmwareImage image;
    if (!LoadFirmwareFile(path, image))
        return 1;
    if (!image.Acceptable()) {
        ExplainRefusal(path, image);
        return 1;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    if (!out.flush()) {
        std::cerr << "vokta4-cli: " << output << ": cannot be written\n";
        return 1;
    }
    return 0;
}
