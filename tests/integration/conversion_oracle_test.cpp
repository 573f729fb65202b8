// The firmware conversion against srec_cat, an independent implementation,
// on the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "image/firmware_image.h"
#include "../unit/test_support.h"

namespace {

std::vector<std::uint8_t> Ours(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    FirmwareImage image;
    ConvertSRecords(in, image);
    EXPECT_TRUE(image.errors.empty());
    return image.bytes;
}

std::vector<std::uint8_t> SrecCat(const TempDir& dir, const std::string& path)
{
    const std::string out = dir.File("oracle.bin");
    const std::string cmd = "srec_cat -contradictory-bytes=warning '" + path +
                            "' -fill 0xFF 0xFE0000 0x1000000 -crop 0xFE0000 0x1000000 -offset -0xFE0000 -o '" + out +
                            "' -binary 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return ReadBinary(out);
}

}  // namespace

TEST(ConversionOracle, S2AndS3FilesGiveTheSameImageAsSrecCat)
{
    TempDir dir;
    dir.Write("s2.002", FirmwareText(3, 2, 32));
    dir.Write("s3.002", FirmwareText(4, 3, 20));
    for (const char* name : {"s2.002", "s3.002"}) {
        const std::vector<std::uint8_t> ours = Ours(dir.File(name));
        ASSERT_EQ(ours.size(), 131072u);
        EXPECT_EQ(ours, SrecCat(dir, dir.File(name))) << name;
    }
}

TEST(ConversionOracle, OverlapsGapsNoiseAndOutOfRangeBytesMatchSrecCat)
{
    TempDir dir;
    std::string text = "S00600004844521B\r\n";
    text += "this line is noise\r\n\r\n";
    text += SRecordLine(2, 0xFE0100, std::vector<std::uint8_t>(40, 0x11)) + "\r\n";
    text += SRecordLine(2, 0xFE0110, std::vector<std::uint8_t>(8, 0x22)) + "\r\n";  // later record wins
    text += SRecordLine(3, 0x00FFFFF8, std::vector<std::uint8_t>(8, 0x33)) + "\r\n";
    text += SRecordLine(2, 0xFDFFFC, std::vector<std::uint8_t>(8, 0x44)) + "\r\n";  // half outside
    text += SRecordLine(1, 0x1234, std::vector<std::uint8_t>(4, 0x55)) + "\r\n";    // far below
    text += SRecordLine(2, 0xFF8000, {}) + "\r\n";                                // no data
    text += "S5030006F6\r\nS804FE0000FD\r\n";
    dir.Write("mixed.002", text);
    std::ifstream in(dir.File("mixed.002"));
    FirmwareImage image;
    ConvertSRecords(in, image);
    EXPECT_EQ(image.bytesOutside, 4 + 4);
    EXPECT_EQ(image.bytesOverlapping, 8);
    EXPECT_EQ(image.Ranges().size(), 3u);
    EXPECT_EQ(image.bytes, SrecCat(dir, dir.File("mixed.002")));
}
