// verify-flash: shows that a radio's flash (as the simulator saved it) holds
// what an update must leave: the new firmware everywhere, the radio's own
// channel data in its area, and the mode marker.
//   verify-flash FIRMWARE.002 FLASH-BEFORE FLASH-AFTER RELEASE|TEST
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "image/firmware_image.h"
#include "update/memory_map.h"

namespace {

std::vector<std::uint8_t> Load(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: verify-flash FIRMWARE.002 FLASH-BEFORE FLASH-AFTER RELEASE|TEST\n";
        return 64;
    }
    std::ifstream firmware(argv[1], std::ios::binary);
    FirmwareImage image;
    ConvertSRecords(firmware, image);
    const std::vector<std::uint8_t> before = Load(argv[2]);
    const std::vector<std::uint8_t> after = Load(argv[3]);
    const std::string mode = argv[4];
    if (!image.Acceptable() || before.size() != kImageSize || after.size() != kImageSize) {
        std::cerr << "verify-flash: unusable input (firmware refused, or a flash file not 131072 bytes)\n";
        return 1;
    }
    const std::uint32_t chStart = kChannelStart - kImageBase, chEnd = kChannelEnd - kImageBase;
    const std::uint32_t marker = kMarkerAddress - kImageBase;
    long firmwareOk = 0, firmwareBad = 0, channelOk = 0, channelBad = 0;
    for (std::uint32_t i = 0; i < kImageSize; ++i) {
        if (i == marker)
            continue;
        const bool inChannel = i >= chStart && i <= chEnd;
        const bool ok = after[i] == (inChannel ? before[i] : image.bytes[i]);
        (inChannel ? (ok ? channelOk : channelBad) : (ok ? firmwareOk : firmwareBad))++;
    }
    const std::uint8_t wantMarker = mode == "RELEASE" ? kMarkerRelease : kMarkerTest;
    std::printf("firmware area: %ld of %ld bytes equal the new firmware image\n", firmwareOk, firmwareOk + firmwareBad);
    std::printf("channel area:  %ld of %ld bytes equal the radio's own channel data\n", channelOk,
                channelOk + channelBad);
    std::printf("marker at 0x%06X: 0x%02X (expected 0x%02X for %s)\n", kMarkerAddress, after[marker], wantMarker,
                mode.c_str());
    const bool good = firmwareBad == 0 && channelBad == 0 && after[marker] == wantMarker;
    std::printf("%s\n", good ? "flash verified: the update is complete and correct" : "FLASH WRONG");
    return good ? 0 : 1;
}
