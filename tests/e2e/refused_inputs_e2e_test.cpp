// Inputs the radio must never get: files cut short, files that are not
// files, lines without end, outputs that would destroy an input, one port
// given twice. Each is refused before the port opens (a cut-short firmware
// is written only when the technician insists). Real programs; the
// simulated radio on a pseudo-terminal where a port is needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

#include "process.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

namespace {

struct RefusedInputs : ::testing::Test, CliWorkspace {
    RefusedInputs() : CliWorkspace(6) {}
    std::vector<std::string> Write(const std::string& port, std::vector<std::string> extra = {})
    {
        return WriteCommand(port, std::move(extra));
    }
    // Runs a refused command: exit status 1 within 10 s, `reason` on stderr.
    void ExpectRefused(const std::vector<std::string>& argv, const std::string& reason, int status = 1)
    {
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), status) << argv.back() << ": " << cli.Err();
        EXPECT_NE(cli.Err().find(reason), std::string::npos) << reason << " not in: " << cli.Err();
    }
};

// S1 lines of the simulated radio's boot program, one per string.
std::vector<std::string> BootLines()
{
    std::istringstream in(kSimBootProgram);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

}  // namespace

TEST_F(RefusedInputs, FilesCutShortNeverReachTheRadio)
{
    std::vector<std::string> boot = BootLines();
    ASSERT_EQ(boot.back().rfind("S9", 0), 0u);
    boot.pop_back();
    dir.Write("cut.s19", Joined(boot));
    boot.push_back("S9030000FC");
    boot.erase(boot.begin() + 10);  // the eleventh line: a record lost in the middle
    dir.Write("gap.s19", Joined(boot));
    for (const char* name : {"cut.s19", "gap.s19"}) {
        Process cli(Write("/nonexistent/port", {"--boot-image", dir.File(name)}), env);
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.Out().find("Boot file load or send error.\n"), std::string::npos) << cli.Out();
        EXPECT_NE(cli.Err().find(std::string(name) == "cut.s19" ? "no termination record" : "line 11: out of sequence"),
                  std::string::npos)
            << cli.Err();
    }

    // A firmware file whose tail is lost: refused, unless the technician insists.
    std::string firmware = FirmwareText(6);
    firmware.erase(firmware.find("S224FF0000"));
    dir.Write("cut.002", firmware);
    Process check({VOKTA4_CLI, "check", dir.File("cut.002")}, env);
    EXPECT_EQ(check.Wait(), 1);
    EXPECT_NE(check.Out().find("would refuse this file as cut short"), std::string::npos) << check.Out();
    ExpectRefused(Write("/nonexistent/port", {"--firmware", dir.File("cut.002")}), "--allow-incomplete");

    Simulator sim(dir.File("flash.bin"));
    Process insist(Write(sim.Port(), {"--firmware", dir.File("cut.002"), "--allow-incomplete"}), env);
    EXPECT_EQ(insist.Wait(), 0) << insist.Err();
    EXPECT_NE(insist.Err().find("cut short"), std::string::npos) << insist.Err();
    sim.Stop();
    std::vector<std::uint8_t> expected = ExpectedFlash(6, kMarkerRelease);
    for (std::uint32_t a = 0xFF0000; a <= 0xFFFFFF; ++a) {
        if (a < kChannelStart || a > kChannelEnd)
            expected[a - kImageBase] = 0xFF;
    }
    const std::vector<std::uint8_t> flash = ReadBinary(dir.File("flash.bin"));
    const auto differs = std::mismatch(flash.begin(), flash.end(), expected.begin(), expected.end());
    EXPECT_TRUE(differs.first == flash.end())
        << "first difference at 0x" << std::hex << (kImageBase + (differs.first - flash.begin())) << "\n"
        << insist.Err();
}

TEST_F(RefusedInputs, UnsafeFilesAndOutputsAreRefusedBeforeAnythingIsWritten)
{
    // Not a file: refused at once, without waiting for a FIFO's writer.
    ASSERT_EQ(::mkfifo(dir.File("fifo.002").c_str(), 0600), 0);
    ExpectRefused(Write("/nonexistent/port", {"--firmware", dir.File("fifo.002")}), "fifo.002: not a regular file");
    ExpectRefused({VOKTA4_CLI, "check", dir.File("fifo.002")}, "fifo.002: not a regular file");

    // A "line" of megabytes is no S-record text: refused at that line.
    dir.Write("long.002", "S0" + std::string(5 << 20, '0') + "\n" + FirmwareText(6));
    Process check({VOKTA4_CLI, "check", dir.File("long.002")}, env);
    EXPECT_EQ(check.Wait(), 1);
    EXPECT_NE(check.Out().find("line 1: a line of more than 4096 characters"), std::string::npos) << check.Out();

    // Outputs never destroy what an update reads or keeps.
    dir.Write("vokta4-history.jsonl", "{\"port\":\"earlier\"}\n");
    dir.Write("vokt-radio-20261208-101500.chd", std::string(16384, 'c'));
    const std::vector<std::uint8_t> firmware = ReadBinary(dir.File("fw.002"));
    ExpectRefused(Write("/nonexistent/port", {"--trace", dir.File("vokta4-history.jsonl")}), "the service record");
    ExpectRefused(Write("/nonexistent/port", {"--trace", dir.File("vokt-radio-20261208-101500.chd")}),
                  "a channel-data backup");
    ExpectRefused({VOKTA4_CLI, "convert", dir.File("fw.002"), "-o", dir.File("fw.002")}, "the firmware file");
    EXPECT_EQ(CliWorkspace::Text(dir.File("vokta4-history.jsonl")), "{\"port\":\"earlier\"}\n");
    // The journal of unfinished updates, also as the data file: never waited on, never overwritten.
    dir.Write("vokta4-journal.jsonl", "{\"event\":\"open\"}\n");
    ExpectRefused(Write("/nonexistent/port", {"--data-file", dir.File("vokta4-journal.jsonl")}), "journal");
    ExpectRefused(Write("/nonexistent/port", {"--trace", dir.File("vokta4-journal.jsonl")}), "journal");
    EXPECT_EQ(CliWorkspace::Text(dir.File("vokta4-journal.jsonl")), "{\"event\":\"open\"}\n");
    EXPECT_EQ(CliWorkspace::Text(dir.File("vokt-radio-20261208-101500.chd")), std::string(16384, 'c'));
    EXPECT_EQ(ReadBinary(dir.File("fw.002")), firmware);

    // The port itself, under another name: neither an output nor a second radio.
    Simulator sim(dir.File("flash.bin"), {"--transcript", dir.File("t.txt")});
    std::filesystem::create_symlink(sim.Port(), dir.File("radio"));
    ExpectRefused(Write(sim.Port(), {"--trace", dir.File("radio")}), "the serial port");
    ExpectRefused({VOKTA4_CLI, "write", "--yes", "--port", sim.Port(), "--port", dir.File("radio"), "--firmware",
                   dir.File("fw.002"), "--boot-image", VOKTA4_SIM_BOOT, "--data-file", dir.Path()},
                  "are the same port", 64);
    // Outputs that cannot be written: refused with the reason before the radio hears a byte.
    ExpectRefused(Write(sim.Port(), {"--data-file", dir.File("missing/vokt.tmp")}),
                  "missing/vokt.tmp cannot be written: No such file or directory");
    ExpectRefused(Write(sim.Port(), {"--trace", dir.File("missing/trace.txt")}),
                  "missing/trace.txt cannot be written: No such file or directory");
    sim.Stop();
    EXPECT_EQ(BytesIn(CliWorkspace::Text(dir.File("t.txt"))), 0);

    // Each radio's log is added to, with a header per update.
    for (int run = 0; run < 2; ++run) {
        Process json({VOKTA4_CLI, "write", "--json", "--yes", "--port", "/nonexistent/port", "--firmware",
                      dir.File("fw.002"), "--boot-image", VOKTA4_SIM_BOOT, "--data-file", dir.Path()},
                     env);
        EXPECT_EQ(json.Wait(), 1);
    }
    const std::string log = CliWorkspace::Text(dir.File("vokt-port.log"));
    EXPECT_EQ(log.find("==== vokta4-cli"), 0u) << log;
    EXPECT_NE(log.find("==== vokta4-cli"), log.rfind("==== vokta4-cli")) << log;
}

// What goes wrong is named with its reason: a --data-file folder that is
// not there, an image that cannot be written, a full disk under the
// channel-data backup (a file that cannot be created, not a read error),
// and a portable folder on a read-only medium, which still updates a radio
// with its own firmware and boot program.
TEST_F(RefusedInputs, EveryFailureNamesItsReason)
{
    const std::string missing = dir.File("no-such-folder");
    ExpectRefused({VOKTA4_CLI, "write", "--yes", "--port", "/nonexistent/a", "--port", "/nonexistent/b", "--firmware",
                   dir.File("fw.002"), "--boot-image", VOKTA4_SIM_BOOT, "--data-file", missing},
                  "--data-file names a folder (for each radio's data file, backups and log); " + missing +
                      " does not exist",
                  64);
    ExpectRefused({VOKTA4_CLI, "convert", dir.File("fw.002"), "-o", missing + "/fw.bin"},
                  "fw.bin: cannot be written: No such file or directory");

    // A small file system, and a read-only one, in a mount namespace of the
    // test's own.
    if (std::system("unshare -rm sh -c 'mount -t tmpfs tmpfs /mnt && mount -o remount,ro /mnt' 2>/dev/null") != 0)
        GTEST_SKIP() << "no mount namespace for a full or read-only file system here";
    const std::string full = dir.File("full");
    std::filesystem::create_directory(full);
    Simulator sim(dir.File("flash.bin"));
    // Room for the 128 KiB data file, not for the 16 KiB backup after it.
    const std::string mountSmall = "mount -t tmpfs -o size=140k tmpfs \"$0\" && exec \"$@\"";
    Process write({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", mountSmall, full, VOKTA4_CLI, "write", "--yes",
                   "--port", sim.Port(), "--firmware", dir.File("fw.002"), "--boot-image", VOKTA4_SIM_BOOT,
                   "--data-file", full + "/vokt.tmp"},
                  env);
    EXPECT_EQ(write.Wait(), 1) << write.Out() << write.Err();
    EXPECT_NE(write.Out().find("Can not Create data File."), std::string::npos) << write.Out();
    EXPECT_EQ(write.Out().find("Channel data read Error."), std::string::npos) << write.Out();
    EXPECT_NE(write.Err().find("cannot save the channel-data backup: "), std::string::npos) << write.Err();
    EXPECT_NE(write.Err().find("No space left on device"), std::string::npos) << write.Err();

    const std::string stick = dir.File("stick");
    std::filesystem::create_directory(stick);
    std::filesystem::copy_file(VOKTA4_CLI, stick + "/vokta4-cli");
    std::filesystem::copy_file(dir.File("fw.002"), stick + "/fw.002");
    std::filesystem::copy_file(VOKTA4_SIM_BOOT, stick + "/boot.s19");
    const std::string mountReadOnly = "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"";
    std::map<std::string, std::string> stickEnv = env;
    stickEnv["XDG_STATE_HOME"] = dir.File("state");
    for (const char* command : {"ports", "--help"}) {
        Process cli({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", mountReadOnly, stick, stick + "/vokta4-cli", command},
                    stickEnv);
        cli.Wait();  // `ports` ends with 1 when no port opens
        EXPECT_NE(cli.Out().find("portable folder " + stick + "/ is read-only: its firmware, boot program"),
                  std::string::npos)
            << command << ":\n" << cli.Out();
    }
    // The stick's own firmware and boot program update the radio; what the
    // update writes goes to the user's folder.
    Process update({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", mountReadOnly, stick, stick + "/vokta4-cli", "write",
                    "--yes", "--port", sim.Port()},
                   stickEnv);
    EXPECT_EQ(update.Wait(), 0) << update.Out() << update.Err();
    EXPECT_TRUE(std::filesystem::exists(dir.File("state/vokta4/vokta4-history.jsonl")));
}
