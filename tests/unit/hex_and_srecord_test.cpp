#include <algorithm>
#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "image/firmware_image.h"
#include "image/hex_field.h"
#include "image/srecord.h"

TEST(ParseHexField, ReadsLikeFormattedHexExtraction)
{
    EXPECT_EQ(ParseHexField("1A"), 26);
    EXPECT_EQ(ParseHexField("ff"), 255);
    EXPECT_EQ(ParseHexField("FF"), 255);
    EXPECT_EQ(ParseHexField("00"), 0);
    EXPECT_EQ(ParseHexField("0990"), 2448);
    EXPECT_EQ(ParseHexField("12G"), 18);
    EXPECT_EQ(ParseHexField("  0x1f"), 31);
    EXPECT_EQ(ParseHexField("-A"), -10);
}

TEST(ParseHexField, NoDigitsOrOverflowAreReportedBesideIt)
{
    int v = 7;
    EXPECT_FALSE(TryParseHexField("", v));
    EXPECT_FALSE(TryParseHexField("G1", v));
    EXPECT_EQ(ParseHexField("G1"), 0);
    EXPECT_FALSE(TryParseHexField("FFFFFFFFF", v));
    EXPECT_EQ(ParseHexField("FFFFFFFFF"), INT_MAX);
    EXPECT_TRUE(TryParseHexField("7F", v));
    EXPECT_EQ(v, 127);
}

TEST(SRecord, AcceptsWellFormedRecordsOfEachDataType)
{
    SRecord r;
    // S1 at 0x0990 with 01 02 03: sum 06+09+90+01+02+03 = 0xA5, checksum 5A.
    ASSERT_EQ(ParseSRecord("S1060990010203" "5A", r), SRecordStatus::Ok);
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(r.address, 0x0990u);
    ASSERT_EQ(ParseSRecord("S206FE0000AABB96", r), SRecordStatus::Ok);
    EXPECT_EQ(r.type, 2);
    EXPECT_EQ(r.address, 0xFE0000u);
    ASSERT_EQ(r.length, 2u);
    EXPECT_EQ(r.data[1], 0xBB);
    ASSERT_EQ(ParseSRecord("S30600FE000011EA  ", r), SRecordStatus::Ok);
    EXPECT_EQ(r.address, 0x00FE0000u);
    EXPECT_EQ(r.length, 1u);
}

TEST(SRecord, RefusesDamagedRecordsAndSkipsOtherLines)
{
    SRecord r;
    EXPECT_EQ(ParseSRecord("S206FE0000AABB97", r), SRecordStatus::BadChecksum);
    EXPECT_EQ(ParseSRecord("S207FE0000AABB96", r), SRecordStatus::LengthMismatch);
    EXPECT_EQ(ParseSRecord("S206FE0000AXBB96", r), SRecordStatus::BadDigits);
    EXPECT_EQ(ParseSRecord("S203FE00FF", r), SRecordStatus::CountTooSmall);
    EXPECT_EQ(ParseSRecord("S2", r), SRecordStatus::LengthMismatch);
    for (const char* skipped : {"", "S0030000FC", "S5030001FB", "S9030000FC", "s206FE0000AABB90", "SX06", "hello",
                                " S206FE0000AABB96"})
        EXPECT_EQ(ParseSRecord(skipped, r), SRecordStatus::NotData) << skipped;
}

namespace {

FirmwareImage Convert(const std::string& text, std::vector<long>* hundredths = nullptr)
{
    std::istringstream in(text);
    FirmwareImage image;
    ConversionCallbacks cb;
    if (hundredths)
        cb.onHundredth = [hundredths](long line) { hundredths->push_back(line); };
    ConvertSRecords(in, image, cb);
    return image;
}

// An S2 record of `n` bytes of `value` at `address`.
std::string S2(std::uint32_t address, int n, int value)
{
    char buf[600];
    unsigned sum = static_cast<unsigned>(n + 4) + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
    int pos = std::snprintf(buf, sizeof buf, "S2%02X%06X", n + 4, address);
    for (int i = 0; i < n; ++i) {
        pos += std::snprintf(buf + pos, sizeof buf - static_cast<std::size_t>(pos), "%02X", value & 0xFF);
        sum += static_cast<unsigned>(value & 0xFF);
    }
    std::snprintf(buf + pos, sizeof buf - static_cast<std::size_t>(pos), "%02X", ~sum & 0xFFu);
    return buf;
}

}  // namespace

TEST(Conversion, PlacesBytesByAddressAndTheLaterRecordWins)
{
    const FirmwareImage image = Convert(S2(0xFFFFF0, 16, 0x11) + "\n" + S2(0xFE0000, 4, 0x22) + "\r\n" +
                                        S2(0xFE0002, 1, 0x33) + "\n");
    EXPECT_TRUE(image.Acceptable());
    EXPECT_EQ(image.bytes.size(), 131072u);
    EXPECT_EQ(image.bytes[0x1FFF0], 0x11);
    EXPECT_EQ(image.bytes[0x1FFFF], 0x11);
    EXPECT_EQ(image.bytes[0x1FFEF], 0xFF);
    EXPECT_EQ(image.bytes[0], 0x22);
    EXPECT_EQ(image.bytes[2], 0x33);
    EXPECT_EQ(image.bytes[4], 0xFF);
    EXPECT_EQ(image.bytesOverlapping, 1);
}

TEST(Conversion, BytesOutsideTheImageAreSkippedAndNothingElseChanges)
{
    const FirmwareImage image = Convert(S2(0xFDFFFE, 4, 0x44) + "\n" + "S1040100AA50\n");
    EXPECT_EQ(image.bytesOutside, 3);
    EXPECT_EQ(image.bytes[0], 0x44);
    EXPECT_EQ(image.bytes[1], 0x44);
    EXPECT_EQ(image.bytes[2], 0xFF);
    EXPECT_EQ(image.bytesSet, 2);
}

TEST(Conversion, AFileThatSetsNoByteOrHasADamagedRecordIsRefused)
{
    EXPECT_FALSE(Convert("S0030000FC\nS9030000FC\n").Acceptable());
    EXPECT_FALSE(Convert(S2(0x001000, 4, 1) + "\n").Acceptable());
    EXPECT_FALSE(Convert("").Acceptable());
    std::string bad = S2(0xFE0000, 4, 1);
    bad[bad.size() - 1] ^= 1;
    const FirmwareImage image = Convert("S0030000FC\n" + S2(0xFE0010, 4, 1) + "\n" + bad + "\n");
    ASSERT_EQ(image.errors.size(), 1u);
    EXPECT_EQ(image.errors[0].line, 3);
    EXPECT_FALSE(image.Acceptable());
}

// Data records a careless editor left unreadable are named with their
// lines, also without a record count that would show the loss; a header
// with a byte-order mark is no loss.
TEST(Conversion, DataLookingLinesThatAreSkippedAreNamed)
{
    const std::string record = S2(0xFE0000, 4, 1);
    std::string lower = record;
    lower[0] = 's';
    const FirmwareImage image = Convert("\xEF\xBB\xBFS0030000FC\n" + S2(0xFE0010, 4, 1) + "\n \t" + record + "\n" +
                                        lower + "\n\xEF\xBB\xBF" + record + "\nnot a record\n");
    ASSERT_EQ(image.skippedCount, 3);
    EXPECT_EQ(image.skipped[0].line, 3);
    EXPECT_EQ(image.skipped[0].what, "a leading blank or tab");
    EXPECT_EQ(image.skipped[1].what, "a lower-case \"s\"");
    EXPECT_EQ(image.skipped[2].what, "a byte-order mark before it");
    const std::vector<std::string> notes = image.Notes();
    EXPECT_NE(std::find_if(notes.begin(), notes.end(),
                           [](const std::string& n) { return n.find("line 5 looks like a data record") == 9; }),
              notes.end());
}

TEST(Conversion, EveryHundredthDataRecordReportsItsLineNumber)
{
    std::string text = "S0030000FC\n";
    for (int i = 0; i < 250; ++i)
        text += S2(0xFE0000 + static_cast<std::uint32_t>(i) * 4, i == 7 ? 0 : 4, i) + "\n";
    std::vector<long> lines;
    const FirmwareImage image = Convert(text, &lines);
    EXPECT_EQ(lines, (std::vector<long>{101, 201}));
    EXPECT_EQ(image.dataRecords, 250);
    EXPECT_EQ(image.bytes[7 * 4], 0xFF);  // the record without data writes nothing

    std::vector<long> none;
    Convert("S0030000FC\n" + S2(0xFE0000, 4, 1) + "\n", &none);
    EXPECT_TRUE(none.empty());
}
