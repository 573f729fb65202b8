// What vokta4-cli gives a technician beyond the dialog: exit codes, the
// reasons behind failures, recovery with a channel-data backup, traces,
// and checks of firmware files. Real programs over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sstream>

#include "update/memory_map.h"
#include "process.h"
#include "sim/radio_model.h"
#include "../unit/test_support.h"

namespace {

struct TechFixture : ::testing::Test, CliWorkspace {
    TechFixture() : CliWorkspace(6) {}
    std::vector<std::string> Write(const std::string& port, std::vector<std::string> extra = {})
    {
        return WriteCommand(port, std::move(extra));
    }
    long Field(const std::string& transcript, const std::string& key)
    {
        std::istringstream in(transcript);
        std::string k;
        long v;
        while (in >> k) {
            if (k == key && in >> v)
                return v;
        }
        return -1;
    }
};

}  // namespace

TEST_F(TechFixture, AFailureBeforeTheEraseExitsWithOneAndSaysWhichBlock)
{
    Simulator sim(dir.File("flash.bin"), {"--fault", "read:4:5:silence"});
    Process cli(Write(sim.Port()), env);
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_NE(cli.Out().find("Channel data read Error.\n"), std::string::npos);
    EXPECT_NE(cli.Err().find("block 0xFF8800, attempt 5 of 5: no answer to the read command"), std::string::npos)
        << cli.Err();
    sim.Stop();
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), RadioModel::FactoryFlash());
}

// A technician's no or stop before the erase is headlined as what it is,
// never as a step's error: "n" at "Power Supply?", Ctrl-C while the channel
// data are read.
TEST_F(TechFixture, ACancelOrAStopBeforeTheEraseIsHeadlinedAsSuch)
{
    Simulator sim(dir.File("flash.bin"), {"--fault", "read:-1:3:late=900"});
    std::vector<std::string> asked = Write(sim.Port());
    asked.erase(std::find(asked.begin(), asked.end(), "--yes"));
    struct Case {
        const char* what;
        std::vector<std::string> argv;
        std::string input;
        const char* headline;
    };
    for (const Case& c : {Case{"no at Power Supply?", asked, "n\n", "Cancelled: the radio is unchanged"},
                          Case{"Ctrl-C in Data Loading.", Write(sim.Port()), "", "Stopped by the technician: the radio is unchanged"}}) {
        Process cli(c.argv, env, c.input);
        if (c.input.empty()) {
            ASSERT_TRUE(cli.WaitForOutput("Data Loading.")) << cli.Err();
            cli.Signal(SIGINT);
        }
        EXPECT_EQ(cli.Wait(), 1) << c.what;
        EXPECT_NE(cli.Err().find(c.headline), std::string::npos) << c.what << ": " << cli.Err();
        EXPECT_EQ(cli.Out().find("Error."), std::string::npos) << c.what << ": " << cli.Out();
    }
    sim.Stop();
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), RadioModel::FactoryFlash());
}

// On a terminal the long steps show a bar, the percent and the time left;
// no line redrawn in place is ever as wide as the terminal (it would wrap,
// and the redrawing would then fill the screen).
TEST_F(TechFixture, TheProgressFitsTheTerminalAndTellsTheTimeLeft)
{
    for (const int columns : {40, 100}) {
        // A radio that acknowledges each block a little late: a write long
        // enough for the time left to be told.
        Simulator sim(dir.File("flash.bin"), columns == 40 ? std::vector<std::string>{}
                                                           : std::vector<std::string>{"--fault", "wdata:-1:1:late=15"});
        std::string command = "stty cols " + std::to_string(columns) + " rows 30 && exec";
        for (const std::string& arg : Write(sim.Port()))
            command += " '" + arg + "'";
        Process cli({"/usr/bin/script", "-qfec", command, "/dev/null"}, env);
        ASSERT_EQ(cli.Wait(), 0) << cli.Out();
        std::string tooWide;
        bool bar = false, left = false;
        std::string segment;
        for (char c : cli.Out() + "\n") {
            if (c != '\r' && c != '\n') {
                segment += c;
                continue;
            }
            const std::size_t erase = segment.rfind("\x1b[K");
            const std::string shown = erase == std::string::npos ? segment : segment.substr(erase + 3);
            int width = 0;
            for (char d : shown)
                width = d == '\t' ? (width / 8 + 1) * 8 : width + 1;
            if (width >= columns && shown.find('%') != std::string::npos)  // a line redrawn in place
                tooWide += shown + "\n";
            bar = bar || shown.find("  [###") != std::string::npos;
            left = left || shown.find(" left") != std::string::npos;
            segment.clear();
        }
        EXPECT_EQ(tooWide, "") << columns << " columns";
        if (columns == 100) {
            EXPECT_TRUE(bar) << cli.Out();
            EXPECT_TRUE(left) << cli.Out();
        }
    }
}

TEST_F(TechFixture, ARadioWhoseWriteFailedIsRestoredByPastingThePrintedCommand)
{
    // A folder whose name holds a quote, TEST mode and a boot program of the
    // technician's: the command must carry them all, quoted, and name the
    // program by its path.
    const std::string folder = dir.File("it's here");
    std::filesystem::create_directory(folder);
    const std::string link = dir.File("radio");
    std::string restore;
    {
        Simulator sim(dir.File("flash.bin"), {"--link", link, "--fault", "wdata:40:5:silence"});
        Process cli(Write(link, {"--test", "--data-file", folder + "/vokt.tmp"}), env);
        EXPECT_EQ(cli.Wait(), 2);
        EXPECT_NE(cli.Out().find("Firm write error.\n"), std::string::npos);
        const std::string err = cli.Err();
        const std::size_t at = err.find("by:\n  ");
        ASSERT_NE(at, std::string::npos) << err;
        restore = err.substr(at + 6, err.find('\n', at + 6) - at - 6);
    }
    EXPECT_EQ(restore.find(std::string("'") + VOKTA4_CLI + "' write "), 0u) << restore;
    // The radio now holds half a firmware and an erased channel area.
    std::vector<std::uint8_t> broken = ReadBinary(dir.File("flash.bin"));
    EXPECT_EQ(broken[kChannelStart - kImageBase], 0xFF);

    Simulator sim(dir.File("flash.bin"), {"--link", link});
    Process again({"/bin/sh", "-c", restore + " --yes"}, env);
    EXPECT_EQ(again.Wait(), 0) << again.Err();
    sim.Stop();

    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), ExpectedFlash(6, kMarkerTest));
    // The service records tell the radio's own channel data from the backup's
    // written back, and name the backup.
    std::ifstream history(folder + "/vokta4-history.jsonl");
    std::vector<nlohmann::json> records;
    for (std::string line; std::getline(history, line);)
        records.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["channel_data"], nlohmann::json({{"source", "radio"}}));
    EXPECT_EQ(records[1]["channel_data"]["source"], "backup");
    EXPECT_EQ(records[1]["channel_data"]["file"], records[0]["backup"]);
}

TEST_F(TechFixture, ALineThatHangsUpDuringTheWriteEndsAtOnceWithAClearError)
{
    Simulator sim(dir.File("flash.bin"), {"--fault", "wdata:100:1:hangup"});
    Process cli(Write(sim.Port()), env);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(cli.Out().find("Firm write error.\n"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Err().find("block 0xFEC800, attempt 1 of 5: the serial line hung up"), std::string::npos)
        << cli.Err();
}

TEST_F(TechFixture, AChannelDataFileOfTheWrongSizeIsRefusedBeforeTheRadioIsTouched)
{
    dir.Write("short.chd", std::string(16383, 'x'));
    Simulator sim(dir.File("flash.bin"), {"--transcript", dir.File("t.txt")});
    Process cli(Write(sim.Port(), {"--channel-data", dir.File("short.chd")}), env);
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_NE(cli.Err().find("16384"), std::string::npos) << cli.Err();
    sim.Stop();
    EXPECT_EQ(Field(Text(dir.File("t.txt")), "bytes_in"), 0);
}

TEST_F(TechFixture, TheTraceHoldsEveryByteBothWays)
{
    Simulator sim(dir.File("flash.bin"), {"--transcript", dir.File("t.txt")});
    Process cli(Write(sim.Port(), {"--trace", dir.File("trace.txt")}), env);
    ASSERT_EQ(cli.Wait(), 0) << cli.Err();
    sim.Stop();
    std::istringstream trace(Text(dir.File("trace.txt")));
    std::string line;
    long tx = 0, rx = 0;
    double last = 0;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        double t;
        std::string dir_, byte;
        ASSERT_TRUE(fields >> t >> dir_) << line;
        ASSERT_GE(t, last - 0.001) << line;
        last = t;
        ASSERT_TRUE(dir_ == "TX" || dir_ == "RX") << line;
        long n = 0;
        while (fields >> byte) {
            ASSERT_EQ(byte.size(), 2u) << line;
            ++n;
        }
        ASSERT_GT(n, 0) << line;
        (dir_ == "TX" ? tx : rx) += n;
    }
    const std::string transcript = Text(dir.File("t.txt"));
    EXPECT_EQ(tx, Field(transcript, "bytes_in"));
    // A slow machine may repeat the contact byte before the first answer is
    // read: the answers to the repeats are stale, and purged unread before
    // the boot program goes out.
    const long staleAnswers = Field(transcript, "contacts") - 1;
    EXPECT_LE(rx, Field(transcript, "bytes_out"));
    EXPECT_GE(rx, Field(transcript, "bytes_out") - staleAnswers) << transcript;
}

TEST_F(TechFixture, AnotherBootProgramCanBeUploaded)
{
    dir.Write("boot.s19", "S0030000FC\n" + SRecordLine(1, 0x0990, {1, 2, 3, 4}) + "\n" +
                              SRecordLine(1, 0x0994, {5, 6}) + "\nS9030000FC\n");
    Simulator sim(dir.File("flash.bin"), {"--transcript", dir.File("t.txt")});
    Process cli(Write(sim.Port(), {"--boot-image", dir.File("boot.s19")}), env);
    EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    sim.Stop();
    EXPECT_EQ(Field(Text(dir.File("t.txt")), "boot_frames"), 2);

    dir.Write("bad.s19", SRecordLine(1, 0x0990, {1, 2}) + "0\n");
    Process bad(Write("/nonexistent", {"--boot-image", dir.File("bad.s19")}), env);
    EXPECT_EQ(bad.Wait(), 1);
    EXPECT_NE(bad.Err().find("line 1"), std::string::npos) << bad.Err();
}

TEST_F(TechFixture, CheckAndConvertJudgeFilesAsTheUpdateDoes)
{
    Process good({VOKTA4_CLI, "check", dir.File("fw.002")}, env);
    EXPECT_EQ(good.Wait(), 0);
    EXPECT_NE(good.Out().find("data records: 4096 (S1 0, S2 4096, S3 0)"), std::string::npos) << good.Out();
    EXPECT_NE(good.Out().find("range FE0000-FFFFFF"), std::string::npos);

    Process convert({VOKTA4_CLI, "convert", dir.File("fw.002"), "-o", dir.File("img.bin")}, env);
    EXPECT_EQ(convert.Wait(), 0);
    const std::string oracle = "srec_cat -contradictory-bytes=warning '" + dir.File("fw.002") +
                               "' -fill 0xFF 0xFE0000 0x1000000 -crop 0xFE0000 0x1000000 -offset -0xFE0000 -o '" +
                               dir.File("oracle.bin") + "' -binary 2>/dev/null";
    ASSERT_EQ(std::system(oracle.c_str()), 0);
    EXPECT_EQ(ReadBinary(dir.File("img.bin")), ReadBinary(dir.File("oracle.bin")));

    std::string text = FirmwareText(6);
    text.insert(text.find('\n') + 1, "S206FE0000AABB97\n");  // line 2: checksum wrong
    dir.Write("bad.002", text);
    Process badCheck({VOKTA4_CLI, "check", dir.File("bad.002")}, env);
    EXPECT_EQ(badCheck.Wait(), 1);
    EXPECT_NE(badCheck.Out().find("line 2: checksum wrong"), std::string::npos) << badCheck.Out();
    Process badConvert({VOKTA4_CLI, "convert", dir.File("bad.002"), "-o", dir.File("bad.bin")}, env);
    EXPECT_EQ(badConvert.Wait(), 1);
    EXPECT_TRUE(ReadBinary(dir.File("bad.bin")).empty());

    dir.Write("outside.002", SRecordLine(2, 0x001000, {1, 2}) + "\n");
    Process outside({VOKTA4_CLI, "check", dir.File("outside.002")}, env);
    EXPECT_EQ(outside.Wait(), 1);
    EXPECT_NE(outside.Out().find("outside the image (FE0000-FFFFFF): 2"), std::string::npos) << outside.Out();
}

TEST_F(TechFixture, PortsNamesTheReasonOfAPortThatDoesNotOpen)
{
    Simulator sim(dir.File("flash.bin"));
    dir.Write("plain-file", "x");
    env["VOKTA4_PORTS"] = sim.Port() + ":" + dir.File("plain-file") + ":/nonexistent/ttyX";
    Process ports({VOKTA4_CLI, "ports"}, env);
    EXPECT_EQ(ports.Wait(), 0);
    const std::string out = ports.Out();
    EXPECT_EQ(out.find("* " + sim.Port()), 0u) << out;
    EXPECT_NE(out.find(dir.File("plain-file") + "  not usable: "), std::string::npos) << out;
    EXPECT_NE(out.find("/nonexistent/ttyX  not usable: /nonexistent/ttyX: No such file or directory"),
              std::string::npos)
        << out;
}

// The technician's obvious reaction to a failed update is to run it again.
// The radio's channel area then reads as erased: unattended, the update
// refuses (the radio needs another update) and names the backup; at the
// prompt it offers to write it back, with Cancel the default.
TEST_F(TechFixture, ASecondWriteAfterAFailedUpdateNeverWritesTheErasedChannelAreaSilently)
{
    const std::string link = dir.File("radio");
    {
        Simulator sim(dir.File("flash.bin"), {"--link", link, "--fault", "wdata:40:5:silence"});
        Process first(Write(link), env);
        EXPECT_EQ(first.Wait(), 2);
    }
    const std::vector<std::uint8_t> broken = ReadBinary(dir.File("flash.bin"));
    {
        Simulator sim(dir.File("flash.bin"), {"--link", link});
        Process unattended(Write(link), env);
        EXPECT_EQ(unattended.Wait(), 2);
        EXPECT_NE(unattended.Err().find("--channel-data '" + dir.Path() + "/vokt-radio-"), std::string::npos)
            << unattended.Err();
        EXPECT_NE(unattended.Err().find("channel data look lost"), std::string::npos) << unattended.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), broken) << "the radio must stay as it was";

    Simulator sim(dir.File("flash.bin"), {"--link", link});
    std::vector<std::string> argv = Write(link);
    argv.erase(std::find(argv.begin(), argv.end(), "--yes"));
    Process asked(argv, env, "\ny\n");  // OK to "Power Supply?", OK to writing the backup back
    EXPECT_EQ(asked.Wait(), 0) << asked.Err();
    EXPECT_NE(asked.Out().find("This radio's channel area is erased.\n\nWrite back the channel data saved in\n" +
                               dir.Path() + "/vokt-radio-"),
              std::string::npos)
        << asked.Out();
    sim.Stop();
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), ExpectedFlash(6, kMarkerRelease));
}

// No output file may overwrite an input, and an input that is not a file
// is refused before the radio is touched.
TEST_F(TechFixture, NoOutputMayDestroyAnInput)
{
    const std::vector<std::uint8_t> firmware = ReadBinary(dir.File("fw.002"));
    ::mkfifo(dir.File("fifo").c_str(), 0600);
    std::filesystem::create_directory(dir.File("folder"));
    const std::vector<std::vector<std::string>> refused = {
        {"--data-file", dir.File("fw.002")},
        {"--trace", dir.File("fw.002")},
        {"--trace", dir.File("vokt.tmp")},
        {"--channel-data", dir.File("folder")},
        {"--channel-data", dir.File("fifo")},
    };
    for (const std::vector<std::string>& extra : refused) {
        Process cli(Write("/nonexistent/port", extra), env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 1) << extra[0] << " " << extra[1] << ": " << cli.Err();
        EXPECT_NE(cli.Err().find(extra[1]), std::string::npos) << cli.Err();
        EXPECT_EQ(ReadBinary(dir.File("fw.002")), firmware);
    }
}

// A file whose own record count disagrees with its data records has lost
// records; one that sets only part of the firmware area, or whose data run
// to the end without a termination record, is warned about.
TEST_F(TechFixture, IncompleteFirmwareIsRefusedOrWarnedAbout)
{
    std::string text = FirmwareText(6);  // 4096 S2 records and an S8
    text.insert(text.rfind("S8"), "S5031001EB\n");  // counts 4097
    dir.Write("lost.002", text);
    Process lost({VOKTA4_CLI, "check", dir.File("lost.002")}, env);
    EXPECT_EQ(lost.Wait(), 1);
    EXPECT_NE(lost.Out().find("says 4097 data records, the file holds 4096: records are missing"), std::string::npos)
        << lost.Out();

    dir.Write("half.002", SRecordLine(2, 0xFE0000, std::vector<std::uint8_t>(16, 0x5A)) + "\nS804FE0000FD\n");
    Process half({VOKTA4_CLI, "check", dir.File("half.002")}, env);
    EXPECT_EQ(half.Wait(), 0);
    EXPECT_NE(half.Out().find("sets 16 of the 114688 bytes of the firmware area"), std::string::npos) << half.Out();
    std::string unterminated = FirmwareText(6);
    unterminated.erase(unterminated.rfind("S8"));
    dir.Write("unterminated.002", unterminated);
    Process whole({VOKTA4_CLI, "check", dir.File("unterminated.002")}, env);
    EXPECT_EQ(whole.Wait(), 0);
    EXPECT_NE(whole.Out().find("warning: no termination record"), std::string::npos) << whole.Out();
    Process write(Write("/nonexistent/port", {"--firmware", dir.File("half.002")}), env);
    write.Wait();
    EXPECT_NE(write.Err().find("warning: 114672 bytes of the firmware area are not set"), std::string::npos)
        << write.Err();
}
