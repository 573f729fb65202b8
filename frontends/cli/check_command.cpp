// `vokta4-cli check FILE`: what a firmware file holds, judged as the update judges it.
#include <cstdio>

#include "frontends/cli/commands.h"
#include "frontends/cli/firmware_file.h"
#include "image/firmware_image.h"

int RunCheck(const std::string& path)
{
    FirmwareImage image;
    if (!LoadFirmwareFile(path, image))
        return 1;
    const auto& t = image.recordsByType;
    std::printf("%s: %ld lines\n", path.c_str(), image.lines);
    std::printf("data records: %ld (S1 %ld, S2 %ld, S3 %ld)\n", image.dataRecords, t[1], t[2], t[3]);
    std::printf("other records: S0 %ld, S5 %ld, S6 %ld, S7 %ld, S8 %ld, S9 %ld\n", t[0], t[5], t[6], t[7], t[8], t[9]);
    std::printf("image bytes set: %ld of %u\n", image.bytesSet, kImageSize);
    for (const auto& [from, to] : image.Ranges())
        std::printf("  range %06X-%06X (%u bytes)\n", from, to, to - from + 1);
    std::printf("data bytes outside the image (FE0000-FFFFFF): %ld\n", image.bytesOutside);
    std::printf("data bytes overlapping an earlier record (the later one is used): %ld\n", image.bytesOverlapping);
    if (image.declaredCount >= 0)
        std::printf("record count (line %ld): %ld data records\n", image.countLine, image.declaredCount);
    else
        std::printf("record count: none\n");
    if (image.terminationLine > 0)
        std::printf("termination record: line %ld\n", image.terminationLine);
    for (const std::string& note : image.Notes())
        std::printf("%s\n", note.c_str());
    std::printf("damaged records: %ld\n", image.errorCount);
    for (const ConversionError& e : image.errors)
        std::printf("  line %ld: %s\n", e.line, e.what.c_str());
    if (image.errorCount > static_cast<long>(image.errors.size()))
        std::printf("  ... and %ld more\n", image.errorCount - static_cast<long>(image.errors.size()));
    const std::string cutShort = image.CutShort(path);
    if (!image.Acceptable()) {
        std::printf("the update would refuse this file%s\n",
                    image.errors.empty() ? ": it sets no byte of the image" : "");
        return 1;
    }
    if (!cutShort.empty()) {
        std::printf("%s\nthe update would refuse this file as cut short (write --allow-incomplete writes it "
                    "anyway)\n",
                    cutShort.c_str());
        return 1;
    }
    std::printf("the update would accept this file\n");
    return 0;
}
