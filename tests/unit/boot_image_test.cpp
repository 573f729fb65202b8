#include <gtest/gtest.h>

#include "image/boot_loader_image.h"
#include "image/hex_field.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

int Count(const std::string& r) { return ParseHexField(r.substr(0, 2)); }
int Address(const std::string& r) { return ParseHexField(r.substr(2, 4)); }

}  // namespace

TEST(BootLoaderImage, TheSimulatedRadiosProgramHasTheLoadersShape)
{
    TempDir dir;
    dir.Write("boot.s19", kSimBootProgram);
    BootLoaderImage image;
    std::string error;
    ASSERT_TRUE(BootLoaderImage::LoadS19(dir.File("boot.s19"), image, error)) << error;
    const auto& records = image.Records();
    ASSERT_EQ(records.size(), 86u);
    int total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string& r = records[i];
        const int n = Count(r) - 3;
        int expected = 16;
        if (i == 15 || i == 47 || i == 65 || i == 81)
            expected = 15;
        if (i == 31)
            expected = 13;
        if (i == 49)
            expected = 10;
        EXPECT_EQ(n, expected) << "record " << i;
        EXPECT_EQ(r.size(), static_cast<std::size_t>(2 * (n + 4))) << "record " << i;
        unsigned sum = 0;
        for (std::size_t k = 0; k + 2 <= r.size(); k += 2)
            sum += static_cast<unsigned>(ParseHexField(r.substr(k, 2)));
        EXPECT_EQ(sum & 0xFF, 0xFFu) << "checksum of record " << i;
        if (i > 0 && i != 50) {
            EXPECT_EQ(Address(r), Address(records[i - 1]) + Count(records[i - 1]) - 3) << "record " << i;
        }
        total += n;
    }
    EXPECT_EQ(Address(records[0]), 0x0990);
    EXPECT_EQ(Address(records[49]) + Count(records[49]) - 3, 0x0CA5);
    EXPECT_EQ(Address(records[50]), 0x1000);
    EXPECT_EQ(Address(records[85]), 0x122E);
    EXPECT_EQ(total, 1363);
}

TEST(BootLoaderImage, ASuppliedProgramIsCheckedBeforeUse)
{
    TempDir dir;
    BootLoaderImage image;
    std::string error;
    dir.Write("good.s19", "S00600004844521B\nS1060990010203" "5A\nS9030000FC\n");
    ASSERT_TRUE(BootLoaderImage::LoadS19(dir.File("good.s19"), image, error)) << error;
    EXPECT_EQ(image.Records(), std::vector<std::string>{"060990010203" "5A"});

    dir.Write("badsum.s19", "S1060990010203" "5B\n");
    EXPECT_FALSE(BootLoaderImage::LoadS19(dir.File("badsum.s19"), image, error));
    EXPECT_NE(error.find("line 1: checksum"), std::string::npos) << error;

    // 123 data bytes do not fit the 128-byte transmit buffer with the frame's header.
    std::string big = "S17E0000";
    unsigned sum = 0x7E;
    for (int i = 0; i < 123; ++i)
        big += "00";
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02X", ~sum & 0xFFu);
    dir.Write("big.s19", big + cs + "\n");
    EXPECT_FALSE(BootLoaderImage::LoadS19(dir.File("big.s19"), image, error));
    EXPECT_NE(error.find("122"), std::string::npos) << error;

    dir.Write("empty.s19", "S9030000FC\n");
    EXPECT_FALSE(BootLoaderImage::LoadS19(dir.File("empty.s19"), image, error));
}

// ---- frames on the wire ----

namespace {

struct UploadFixture : ::testing::Test {
    std::shared_ptr<FakeBackend::Shared> shared = std::make_shared<FakeBackend::Shared>();
    ScriptedView view;
    TestHost host;
    TempDir dir;
    std::unique_ptr<UpdaterDialog> dialog;
    int refuseAt = -1;

    // Answers each frame as the fake radio; writes come in four pieces.
    class AnsweringBackend : public FakeBackend {
    public:
        AnsweringBackend(UploadFixture& f) : FakeBackend(f.shared), m_f(f) {}
        long Write(const std::uint8_t* data, std::size_t length) override
        {
            FakeBackend::Write(data, length);
            std::lock_guard<std::mutex> lock(m_f.shared->mutex);
            if (m_f.shared->written.size() % 4 == 0) {
                const int frame = static_cast<int>(m_f.shared->written.size() / 4) - 1;
                m_f.shared->pending.push_back(frame == m_f.refuseAt ? 0x02 : 0x01);
            }
            return static_cast<long>(length);
        }

    private:
        UploadFixture& m_f;
    };

    UploadFixture()
    {
        host.backends = [this] { return std::make_unique<AnsweringBackend>(*this); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        dialog = std::make_unique<UpdaterDialog>(view, host, FastTiming());
        view.dialog = dialog.get();
        EXPECT_TRUE(dialog->Serial().Open("fake"));
        UpdaterDialogTestAccess::SetRun(*dialog, true);
    }
    std::vector<std::uint8_t> Frame(std::size_t i)
    {
        std::vector<std::uint8_t> f;
        for (std::size_t k = 4 * i; k < 4 * i + 4; ++k)
            f.insert(f.end(), shared->written[k].begin(), shared->written[k].end());
        return f;
    }
};

std::vector<std::uint8_t> Head(const std::vector<std::uint8_t>& f) { return {f.begin(), f.begin() + 5}; }

}  // namespace

TEST_F(UploadFixture, FramesCarryAddressLengthDataAndAPlainSum)
{
    ASSERT_TRUE(UpdaterDialogTestAccess::CheckBootProgram(*dialog));
    ASSERT_TRUE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    ASSERT_EQ(shared->written.size(), 86u * 4);
    for (std::size_t i = 0; i < 86; ++i) {
        EXPECT_EQ(shared->written[4 * i].size(), 3u);
        EXPECT_EQ(shared->written[4 * i + 1].size(), 2u);
        EXPECT_EQ(shared->written[4 * i + 3].size(), 1u);
        const std::vector<std::uint8_t> f = Frame(i);
        std::uint8_t sum = 0;
        for (std::size_t k = 0; k + 1 < f.size(); ++k)
            sum = static_cast<std::uint8_t>(sum + f[k]);
        EXPECT_EQ(f.back(), sum) << "frame " << i;
    }
    EXPECT_EQ(Head(Frame(0)), (std::vector<std::uint8_t>{0x00, 0x09, 0x90, 0x00, 0x10}));
    EXPECT_EQ(Frame(0).size(), 22u);
    EXPECT_EQ(Head(Frame(49)), (std::vector<std::uint8_t>{0x00, 0x0C, 0x9B, 0x00, 0x0A}));
    EXPECT_EQ(Frame(49).size(), 16u);
    EXPECT_EQ(Head(Frame(85)), (std::vector<std::uint8_t>{0x00, 0x12, 0x2E, 0x00, 0x10}));
    EXPECT_EQ(view.transient, "\tLine 85");
    EXPECT_EQ(view.ranges.front(), std::make_pair(0, 86));
    EXPECT_EQ(view.positions.back(), 86);  // full; the step's end empties it
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(UploadFixture, TheFrameSumWrapsModulo256)
{
    // A supplied program whose frame bytes add up to more than 255.
    dir.Write("boot.s19", "S105FFF0FF0C00\nS9030000FC\n");
    ASSERT_TRUE(UpdaterDialogTestAccess::CheckBootProgram(*dialog));
    ASSERT_TRUE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    ASSERT_EQ(shared->written.size(), 4u);
    EXPECT_EQ(Frame(0), (std::vector<std::uint8_t>{0x00, 0xFF, 0xF0, 0x00, 0x02, 0xFF, 0x0C, 0xFC}));
    EXPECT_EQ(view.ranges.front(), std::make_pair(0, 1));
}

TEST_F(UploadFixture, ARefusedRecordEndsTheUploadAfterExactlyThatFrame)
{
    refuseAt = 20;
    ASSERT_TRUE(UpdaterDialogTestAccess::CheckBootProgram(*dialog));
    EXPECT_FALSE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_EQ(shared->written.size(), 21u * 4);
    EXPECT_EQ(view.positions.back(), 20);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(UploadFixture, ASilentLoaderTimesOutWithOneMessage)
{
    host.backends = [this] { return std::make_unique<FakeBackend>(shared); };
    ASSERT_TRUE(dialog->Serial().Open("fake"));
    ASSERT_TRUE(UpdaterDialogTestAccess::CheckBootProgram(*dialog));
    EXPECT_FALSE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_EQ(view.messages, std::vector<std::string>{TXT_TIME_OUT});
    EXPECT_EQ(shared->written.size(), 4u);
}
