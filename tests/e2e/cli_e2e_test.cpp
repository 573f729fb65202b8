// vokta4-cli against vr3900-sim over a pseudo-terminal: the real programs,
// the real POSIX port, the real line.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include "image/firmware_image.h"
#include "update/memory_map.h"
#include "process.h"
#include "sim/radio_model.h"
#include "../unit/test_support.h"

namespace {

struct CliFixture : ::testing::Test, CliWorkspace {
    CliFixture() : CliWorkspace(5) {}
    std::vector<std::string> Write(const std::string& port, std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv = {VOKTA4_CLI, "write", "--port", port, "--firmware", dir.File("fw.002"),
                                         "--data-file", dir.File("vokt.tmp"), "--boot-image", VOKTA4_SIM_BOOT};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    std::vector<std::uint8_t> Expected(std::uint8_t marker) { return ExpectedFlash(5, marker); }
};

const char* kLog =
    "Waiting for power on Radio.\n"
    "Power Supply?\n"
    "Waiting for power on Radio.\t\t......OK\n"
    "Radio connection.\t\t\t......OK\n"
    "Boot program sending.\t\t......OK\n"
    "Boot program start.\t\t\t......OK\n"
    "Firmware file convert.\t......OK\n"
    "Data Loading.\t\t\t......OK\n"
    "Rom all Clear.\t\t\t......OK\n"
    "Firmware write.\t\t\t......OK\n"
    "Done.\n";

}  // namespace

TEST_F(CliFixture, AFullUpdateInReleaseAndTestModeLeavesTheRightFlash)
{
    for (const bool test : {false, true}) {
        const std::string flash = dir.File(test ? "test.bin" : "release.bin");
        Simulator sim(flash);
        ASSERT_FALSE(sim.Port().empty());
        Process cli(Write(sim.Port(), test ? std::vector<std::string>{"--yes", "-t"}
                                           : std::vector<std::string>{"--yes"}),
                    env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Err();
        const std::string title = test ? "VOKTA4 TEST (R01.00) for VR-3900\n" : "VOKTA4 RELEASE (R01.00) for VR-3900\n";
        EXPECT_EQ(cli.Out(), title + kLog);
        sim.Stop();
        EXPECT_EQ(ReadBinary(flash), Expected(test ? kMarkerTest : kMarkerRelease));
    }
    // The port used is saved at exit.
    EXPECT_NE(ReadBinary(dir.File("config/vokta4/vokta4.ini")).size(), 0u);
}

TEST_F(CliFixture, CancelOrEndOfInputAtThePromptExitsWithOne)
{
    Simulator sim(dir.File("flash.bin"));
    for (const char* answer : {"n\n", ""}) {
        Process cli(Write(sim.Port()), env, answer);
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.Out().find("Power Supply?\n"), std::string::npos);
        EXPECT_EQ(cli.Out().find("Radio connection."), std::string::npos);
    }
    Process ok(Write(sim.Port()), env, "\n");
    EXPECT_EQ(ok.Wait(), 0) << ok.Err();
}

// Before the ROM clear any stop request ends the update with the radio as
// it was; from the clear on only a second Ctrl-C stops it, through the
// whole tear-down; a closed output never ends it.
TEST_F(CliFixture, StopRequestsFollowTheRadiosState)
{
    {
        Simulator sim(dir.File("before.bin"), {"--fault", "read:3:5:silence"});
        Process cli(Write(sim.Port(), {"--yes"}), env);
        ASSERT_TRUE(cli.WaitForOutput("Data Loading."));
        cli.Signal(SIGHUP);  // the terminal closed
        EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 1);
        sim.Stop();
        EXPECT_EQ(ReadBinary(dir.File("before.bin")), RadioModel::FactoryFlash());
    }
    // Block 20's data is never acknowledged: the write surely waits there.
    Simulator sim(dir.File("flash.bin"), {"--fault", "wdata:20:5:silence", "--transcript", dir.File("transcript.txt")});
    Process cli(Write(sim.Port(), {"--yes"}), env);
    ASSERT_TRUE(cli.WaitForOutput("Firmware write."));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    cli.Signal(SIGHUP);
    cli.Signal(SIGTERM);
    EXPECT_TRUE(cli.WaitForError("the update goes on", std::chrono::seconds(3)));
    cli.Signal(SIGINT);
    EXPECT_TRUE(cli.WaitForError("press Ctrl-C again", std::chrono::seconds(3))) << cli.Err();
    EXPECT_TRUE(cli.Running());
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 2);
    EXPECT_NE(cli.Out().find("Firm write error.\n"), std::string::npos);
    EXPECT_NE(cli.Err().find("--channel-data"), std::string::npos) << cli.Err();
    sim.Stop();
    const std::vector<std::uint8_t> bytes = ReadBinary(dir.File("transcript.txt"));
    const std::string transcript(bytes.begin(), bytes.end());
    EXPECT_NE(transcript.find("write FE2800"), std::string::npos);
    EXPECT_EQ(transcript.find("write FE2A00"), std::string::npos) << "writes went on after the second Ctrl-C";
    {
        // The data file is free again.
        DataFile data;
        std::string error;
        EXPECT_TRUE(data.Create(dir.File("vokt.tmp"), error)) << error;
    }

    // Output into a pipe whose reader has gone: the update still ends "Done.".
    Simulator piped(dir.File("piped.bin"));
    std::string command;
    for (const std::string& a : Write(piped.Port(), {"--yes"}))
        command += "'" + a + "' ";
    Process shell({"/bin/bash", "-c", command + "| head -c 1 >/dev/null; echo \"status ${PIPESTATUS[0]}\" >&2"}, env);
    EXPECT_EQ(shell.Wait(), 0);
    EXPECT_NE(shell.Err().find("status 0"), std::string::npos) << shell.Err();
    piped.Stop();
    EXPECT_EQ(ReadBinary(dir.File("piped.bin")), Expected(kMarkerRelease));
}

// The radio gives up waiting for a block's data (the machine stopped for a
// second after the acknowledgement) and reads them as commands. Its first
// answer, a "1" to a protect query among them, looks like the block's
// acknowledgement; the refusals after it come later, held back as by a USB
// adapter. The update ends "Done." only with every block written.
TEST_F(CliFixture, ABlockWhoseDataTheRadioGaveUpOnIsWrittenBeforeDone)
{
    const std::vector<std::uint8_t> expected = Expected(kMarkerRelease);
    // The first block whose data, read as commands, draw a "1" first: a
    // protect query (0xE8) before any write or clear command (refused); a
    // read of nothing sensible (0x28 and 7 bytes) draws no answer.
    auto firstAnswer = [&](std::size_t block) -> std::uint8_t {
        for (std::size_t i = block * kBlockSize; i < (block + 1) * kBlockSize;) {
            const std::uint8_t b = expected[i];
            if (b == 0xE8 || b == 0x08 || b == 0x38 || b == 0x48)
                return b == 0xE8 ? 0x31 : 0x32;
            i += b == 0x28 ? 8 : 1;
        }
        return 0;
    };
    std::size_t block = 0;
    while (block < 224 && firstAnswer(block) != 0x31)
        ++block;
    ASSERT_LT(block, 224u);
    Simulator sim(dir.File("flash.bin"), {"--fault", "wcmd:" + std::to_string(block) + ":1:gaveup=100"});
    Process cli(Write(sim.Port(), {"--yes"}), env);
    EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    EXPECT_NE(cli.Err().find("read back erased after its acknowledgement: written again"), std::string::npos)
        << cli.Err();
    sim.Stop();
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), expected) << "block " << block << " is not the firmware's";
}

TEST_F(CliFixture, ASecondInstanceOnTheSameDataFileOrPortIsRefused)
{
    Simulator a(dir.File("a.bin"), {"--fault", "read:0:1:late", "--late-ms", "900"});
    Simulator b(dir.File("b.bin"));
    Process first(Write(a.Port(), {"--yes"}), env);
    ASSERT_TRUE(first.WaitForOutput("Data Loading."));

    Process sameFile(Write(b.Port(), {"--yes"}), env);
    EXPECT_EQ(sameFile.Wait(), 1);
    EXPECT_NE(sameFile.Out().find("Can not Create data File.\n"), std::string::npos);

    std::vector<std::string> otherFile = Write(a.Port(), {"--yes"});
    otherFile[7] = dir.File("other.tmp");
    Process samePort(otherFile, env);
    EXPECT_EQ(samePort.Wait(), 1);
    EXPECT_NE(samePort.Out().find("Can't open COM port!\n"), std::string::npos);
    EXPECT_NE(samePort.Err().find("busy"), std::string::npos) << samePort.Err();

    EXPECT_EQ(first.Wait(), 0) << first.Err();
}

TEST_F(CliFixture, PortsListsOnlyPortsThatOpenAndMarksTheSavedOne)
{
    Simulator sim(dir.File("flash.bin"));
    env["VOKTA4_PORTS"] = "/nonexistent/a:" + sim.Port();
    Process ports({VOKTA4_CLI, "ports"}, env);
    EXPECT_EQ(ports.Wait(), 0);
    EXPECT_EQ(ports.Out().rfind("* " + sim.Port() + "  not a USB adapter\n  /nonexistent/a  not usable: "
                                "/nonexistent/a: No such file or directory\n",
                                0),
              0u)
        << ports.Out();
    EXPECT_NE(ports.Out().find("service record: "), std::string::npos) << ports.Out();
}

TEST_F(CliFixture, BadUsageExitsWith64)
{
    Process none({VOKTA4_CLI}, env);
    EXPECT_EQ(none.Wait(), 64);
    Process unknown({VOKTA4_CLI, "write", "--no-such-option"}, env);
    EXPECT_EQ(unknown.Wait(), 64);
    Process version({VOKTA4_CLI, "--version"}, env);
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_NE(version.Out().find("R01.00"), std::string::npos);
}

// A note on stderr in the middle of a step: on a pipe the step's line is
// printed once; where stdout and stderr are one file, the bare line comes
// before the note and the whole line after it.
TEST_F(CliFixture, OnAPipeEachStepLineAppearsOnce)
{
    Simulator sim(dir.File("flash.bin"), {"--fault", "read:3:1:silence"});
    Process piped(Write(sim.Port(), {"--yes"}), env);
    EXPECT_EQ(piped.Wait(), 0) << piped.Err();
    EXPECT_NE(piped.Err().find("attempt 1 of 5"), std::string::npos);
    const std::string out = piped.Out();
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(out, "Data Loading."), 1) << out;
    EXPECT_NE(out.find("Data Loading.\t\t\t......OK\n"), std::string::npos) << out;

    Simulator again(dir.File("flash2.bin"), {"--fault", "read:3:1:silence"});
    std::string command;
    for (const std::string& a : Write(again.Port(), {"--yes"}))
        command += "'" + a + "' ";
    Process shared({"/bin/sh", "-c", command + "> '" + dir.File("both.txt") + "' 2>&1"}, env);
    EXPECT_EQ(shared.Wait(), 0);
    const std::vector<std::uint8_t> bytes = ReadBinary(dir.File("both.txt"));
    const std::string both(bytes.begin(), bytes.end());
    EXPECT_NE(both.find("Data Loading.\nvokta4-cli: block 0xFF8600, attempt 1 of 5"), std::string::npos) << both;
    EXPECT_NE(both.find("Data Loading.\t\t\t......OK\n"), std::string::npos) << both;
}

// The simulated radio refuses a folder as its flash and values that are no
// milliseconds, each in one line, before it serves anything.
TEST_F(CliFixture, TheSimulatorRefusesBadOptionsInOneLine)
{
    const std::vector<std::vector<std::string>> refused = {
        {VR3900_SIM, "--flash", dir.Path()},
        {VR3900_SIM, "--erase-ms", "abc"},
        {VR3900_SIM, "--late-ms", "-5"},
        {VR3900_SIM, "--erase-ms", "99999999999"},
        {VR3900_SIM, "--no-such-option"}};
    for (const std::vector<std::string>& argv : refused) {
        Process sim(argv, env);
        EXPECT_EQ(sim.Wait(std::chrono::seconds(10)), 64) << argv[1];
        EXPECT_EQ(sim.Out(), "") << argv[1];
        const std::string err = sim.Err();
        EXPECT_TRUE(err.rfind("vr3900-sim: " + argv[1], 0) == 0 || err.rfind("vr3900-sim: The following", 0) == 0)
            << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}
