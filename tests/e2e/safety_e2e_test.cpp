// What keeps a radio's channel programming safe across a killed program,
// another port name and every way of writing: real programs over
// pseudo-terminals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "process.h"
#include "sim/radio_model.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

namespace {

struct SafetyFixture : ::testing::Test, CliWorkspace {
    SafetyFixture() : CliWorkspace(5) {}
    std::vector<std::string> Write(std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {VOKTA4_CLI, "write", "--yes", "--boot-image", VOKTA4_SIM_BOOT};
        if (std::find(extra.begin(), extra.end(), "--firmware") == extra.end())
            argv.insert(argv.end(), {"--firmware", dir.File("fw.002")});
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    // The last line of a file, parsed.
    static nlohmann::json LastRecord(const std::string& path)
    {
        std::ifstream in(std::filesystem::u8path(path));
        std::string line, last;
        while (std::getline(in, line))
            last = line.empty() ? last : line;
        return nlohmann::json::parse(last, nullptr, false);
    }
    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

}  // namespace

// The program is killed while it writes the flash; the radio comes back
// under another port name. The plain second WRITE must not write the
// erased channel area: it refuses, with the radio untouched, and prints
// the command; that command, run with --json, restores the radio's own
// channel data, and the journal entry is closed.
TEST_F(SafetyFixture, AKilledUpdateIsNeverFinishedWithoutTheRadiosChannelData)
{
    const std::string link = dir.File("by-id-radio");
    const std::string data = dir.File("vokt.tmp");
    {
        Simulator sim(dir.File("flash.bin"));
        Process cli(Write({"--port", sim.Port(), "--data-file", data}), env);
        ASSERT_TRUE(cli.WaitForOutput("Firmware write.")) << cli.Out() << cli.Err();
        cli.Signal(SIGKILL);
        EXPECT_EQ(cli.Wait(), 128 + SIGKILL);
    }
    const std::vector<std::uint8_t> erased = ReadBinary(dir.File("flash.bin"));
    ASSERT_NE(erased, RadioModel::FactoryFlash());
    std::string restore;
    {
        Simulator sim(dir.File("flash.bin"), {"--link", link});
        Process cli(Write({"--port", link, "--data-file", data}), env);
        EXPECT_EQ(cli.Wait(), 2) << cli.Out() << cli.Err();
        const std::string err = cli.Err();
        const std::size_t at = err.find("\n  '");
        ASSERT_NE(at, std::string::npos) << err;
        restore = err.substr(at + 3, err.find('\n', at + 3) - at - 3);
        EXPECT_NE(restore.find("--channel-data"), std::string::npos) << restore;
    }
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), erased) << "the refused WRITE changed the radio";

    Process history({VOKTA4_CLI, "history", "--record", dir.File("vokta4-history.jsonl")}, env);
    history.Wait();
    EXPECT_NE(history.Out().find("UNFINISHED"), std::string::npos) << history.Out();
    {
        Simulator sim(dir.File("flash.bin"), {"--link", link});
        std::vector<std::string> argv = ShellWords(restore);
        argv.insert(argv.end(), {"--yes", "--json"});
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Out() << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("flash.bin")), ExpectedFlash(5, kMarkerRelease));
    Process after({VOKTA4_CLI, "history", "--record", dir.File("vokta4-history.jsonl")}, env);
    after.Wait();
    EXPECT_EQ(after.Out().find("UNFINISHED"), std::string::npos) << after.Out();
}

// Every write option through each path: one radio, one radio with --json,
// and two radios at once (where the options of one radio are refused by
// name).
TEST_F(SafetyFixture, EveryWriteOptionWorksThroughEveryPath)
{
    std::vector<std::uint8_t> channel(kChannelSize);
    for (std::size_t i = 0; i < channel.size(); ++i)
        channel[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::ofstream(dir.File("saved.chd"), std::ios::binary)
        .write(reinterpret_cast<const char*>(channel.data()), static_cast<std::streamsize>(channel.size()));
    std::vector<std::uint8_t> expected = ExpectedFlash(5, kMarkerTest);
    std::copy(channel.begin(), channel.end(), expected.begin() + (kChannelStart - kImageBase));
    expected[kMarkerAddress - kImageBase] = kMarkerTest;

    for (const bool json : {false, true}) {
        const std::string tag = json ? "json" : "plain";
        std::filesystem::create_directory(dir.File(tag));
        const std::string trace = dir.File(tag + ".trace");
        {
            Simulator sim(dir.File(tag + ".bin"));
            std::vector<std::string> argv =
                Write({"--port", sim.Port(), "--test", "--verify", "--data-file", dir.File(tag + "/data.tmp"),
                       "--trace", trace, "--channel-data", dir.File("saved.chd"), "--replace-channel-data"});
            if (json)
                argv.push_back("--json");
            Process cli(argv, env);
            EXPECT_EQ(cli.Wait(), 0) << tag << "\n" << cli.Out() << cli.Err();
        }
        EXPECT_EQ(ReadBinary(dir.File(tag + ".bin")), expected) << tag << ": --channel-data or --test not honoured";
        EXPECT_TRUE(std::filesystem::exists(dir.File(tag + "/data.tmp"))) << tag << ": --data-file not honoured";
        EXPECT_NE(Text(trace).find(" TX "), std::string::npos) << tag << ": --trace not honoured";
        const nlohmann::json record = LastRecord(dir.File(tag + "/vokta4-history.jsonl"));
        EXPECT_EQ(record.value("verified", ""), "yes") << tag << ": --verify not honoured";
        EXPECT_EQ(record.value("mode", ""), "TEST") << tag;
    }

    Simulator a(dir.File("a.bin")), b(dir.File("b.bin"));
    for (const std::string option : {"--channel-data", "--trace"}) {
        Process cli(Write({"--port", a.Port(), "--port", b.Port(), option, dir.File("saved.chd")}), env);
        EXPECT_EQ(cli.Wait(), 64);
        EXPECT_NE(cli.Err().find(option), std::string::npos) << cli.Err();
    }
    Process cli(Write({"--port", a.Port(), "--port", b.Port(), "--test", "--verify", "--data-file", dir.Path()}), env);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(120)), 0) << cli.Out() << cli.Err();
    a.Stop();
    b.Stop();
    for (const char* flash : {"a.bin", "b.bin"})
        EXPECT_EQ(ReadBinary(dir.File(flash)), ExpectedFlash(5, kMarkerTest)) << flash;
    const nlohmann::json record = LastRecord(dir.File("vokta4-history.jsonl"));
    EXPECT_EQ(record.value("verified", ""), "yes");
}

// Paths need not be UTF-8 on Linux: the record, the JSON events and the
// restore command carry them without ending the program.
TEST_F(SafetyFixture, PathsThatAreNotUtf8NeverEndTheProgram)
{
    const std::string folder = dir.File("data-\xff\xfe");
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(dir.File("fw.002"), folder + "/fw-\xe9.002");
    const std::string port = folder + "/radio-\xfe";  // a port name that is not UTF-8 either
    auto lastLine = [](const std::string& out) {
        std::istringstream lines(out);
        std::string line, last;
        while (std::getline(lines, line))
            last = line;
        return nlohmann::json::parse(last, nullptr, false);
    };
    {
        Simulator sim(dir.File("flash.bin"), {"--link", port});
        Process cli(Write({"--port", port, "--firmware", folder + "/fw-\xe9.002", "--data-file",
                           folder + "/vokt.tmp", "--json"}),
                    env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Out() << cli.Err();
        const nlohmann::json result = lastLine(cli.Out());
        EXPECT_TRUE(result.is_object() && result.value("exit_status", -1) == 0) << cli.Out();
    }
    EXPECT_FALSE(LastRecord(folder + "/vokta4-history.jsonl").is_discarded());
    {
        Simulator sim(dir.File("flash2.bin"), {"--link", port, "--fault", "wdata:40:5:silence"});
        Process cli(Write({"--port", port, "--firmware", folder + "/fw-\xe9.002", "--data-file",
                           folder + "/vokt.tmp", "--json"}),
                    env);
        EXPECT_EQ(cli.Wait(), 2) << cli.Out() << cli.Err();
        const nlohmann::json result = lastLine(cli.Out());
        ASSERT_TRUE(result.is_object()) << cli.Out();
        const nlohmann::json radio = result.value("radios", nlohmann::json::array()).at(0);
        EXPECT_NE(radio.value("restore_command", "").find("--channel-data"), std::string::npos) << cli.Out();
    }
}

// Radios in one data folder: two updated at once never take each other's
// running update for an unfinished one, and a radio programmed like one
// whose update failed never closes that radio's entry.
TEST_F(SafetyFixture, RadiosInOneFolderNeverTakeEachOthersEntries)
{
    std::vector<std::uint8_t> other = RadioModel::FactoryFlash();
    for (std::uint32_t a = kChannelStart; a <= kChannelEnd; ++a)
        other[a - kImageBase] = static_cast<std::uint8_t>(a * 13);
    WriteBytes(dir.File("b.bin"), other);
    {
        Simulator a(dir.File("a.bin")), b(dir.File("b.bin"));
        Process both(Write({"--port", a.Port(), "--port", b.Port(), "--data-file", dir.Path()}), env);
        EXPECT_EQ(both.Wait(std::chrono::seconds(120)), 0) << both.Out() << both.Err();
    }

    // X fails inside its channel area; Y, programmed alike, is updated.
    const std::string x = dir.File("x-radio"), y = dir.File("y-radio");
    {
        Simulator sim(dir.File("x.bin"), {"--link", x, "--fault", "wdata:200:5:silence"});
        Process cli(Write({"--port", x, "--data-file", dir.Path()}), env);
        EXPECT_EQ(cli.Wait(), 2) << cli.Err();
    }
    {
        Simulator sim(dir.File("y.bin"), {"--link", y});
        Process cli(Write({"--port", y, "--data-file", dir.Path()}), env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    }
    const std::vector<std::uint8_t> broken = ReadBinary(dir.File("x.bin"));
    {
        Simulator sim(dir.File("x.bin"), {"--link", x});
        Process cli(Write({"--port", x, "--data-file", dir.Path()}), env);
        EXPECT_EQ(cli.Wait(), 2) << cli.Out() << cli.Err();
        EXPECT_NE(cli.Err().find("holds the first 9 of 32 blocks"), std::string::npos) << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("x.bin")), broken) << "X's half-written channel area was written as its own";
}

// The technician's next moves after radio X failed, each taken literally:
// a second WRITE from another data folder, the printed restore command with
// its backup altered, and pasted while another radio is on that port. Each
// decides from what the radio holds, and only X, restored, closes its entry.
TEST_F(SafetyFixture, RecoveryDecidesFromTheRadiosChannelAreaInEveryFolderAndForEveryRadio)
{
    const std::string link = dir.File("radio");
    std::string restore;
    {
        Simulator sim(dir.File("x.bin"), {"--link", link, "--fault", "wdata:40:5:silence"});
        Process cli(Write({"--port", link, "--data-file", dir.File("vokt.tmp")}), env);
        EXPECT_EQ(cli.Wait(), 2) << cli.Err();
        const std::string err = cli.Err();
        const std::size_t at = err.find("\n  '");
        ASSERT_NE(at, std::string::npos) << err;
        restore = err.substr(at + 3, err.find('\n', at + 3) - at - 3);
    }
    const std::vector<std::uint8_t> erased = ReadBinary(dir.File("x.bin"));
    std::filesystem::create_directory(dir.File("elsewhere"));
    {
        Simulator sim(dir.File("x.bin"), {"--link", link});
        Process cli(Write({"--port", link, "--data-file", dir.File("elsewhere/vokt.tmp")}), env);
        EXPECT_EQ(cli.Wait(), 2) << "another data folder wrote an erased area: " << cli.Err();
        EXPECT_NE(cli.Err().find("channel data look lost"), std::string::npos) << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("x.bin")), erased);

    std::vector<std::string> argv = ShellWords(restore);
    argv.push_back("--yes");
    const std::string backup = argv[std::find(argv.begin(), argv.end(), "--channel-data") - argv.begin() + 1];
    const std::vector<std::uint8_t> saved = ReadBinary(backup);
    std::vector<std::uint8_t> altered = saved;
    altered[100] ^= 0xFF;
    WriteBytes(backup, altered);
    {
        Simulator sim(dir.File("x.bin"), {"--link", link});
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(), 1) << "an altered backup was written back: " << cli.Err();
        EXPECT_NE(cli.Err().find("differs from the journal's"), std::string::npos) << cli.Err();
    }
    WriteBytes(backup, saved);
    std::vector<std::uint8_t> other = RadioModel::FactoryFlash();  // another radio, its own data intact
    for (std::uint32_t a = kChannelStart; a <= kChannelEnd; ++a)
        other[a - kImageBase] = static_cast<std::uint8_t>(a * 11);
    WriteBytes(dir.File("z.bin"), other);
    {
        Simulator z(dir.File("z.bin"), {"--link", link});
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(), 1) << "the restore command replaced another radio's data: " << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("z.bin")), other);
    // A radio with unused channels: X's first blocks, the rest erased, its
    // flash complete. It is not X cut short: refused for X's data, and its
    // own plain update goes on with its own.
    std::vector<std::uint8_t> sparse = RadioModel::FactoryFlash();
    std::copy(saved.begin(), saved.begin() + 4 * 512, sparse.begin() + (kChannelStart - kImageBase));
    std::fill(sparse.begin() + (kChannelStart - kImageBase) + 4 * 512, sparse.begin() + (kChannelEnd + 1 - kImageBase),
              0xFF);
    WriteBytes(dir.File("s.bin"), sparse);
    {
        Simulator s(dir.File("s.bin"), {"--link", link});
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(), 1) << "X's data went into a radio with unused channels: " << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("s.bin")), sparse);
    {
        Simulator s(dir.File("s.bin"), {"--link", link});
        Process cli(Write({"--port", link, "--data-file", dir.File("vokt.tmp")}), env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    }
    {
        Simulator sim(dir.File("x.bin"), {"--link", link});
        Process cli(argv, env);
        EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    }
    EXPECT_EQ(ReadBinary(dir.File("x.bin")), ExpectedFlash(5, kMarkerRelease));
    Process history({VOKTA4_CLI, "history", "--record", dir.File("vokta4-history.jsonl")}, env);
    history.Wait();
    EXPECT_EQ(history.Out().find("UNFINISHED"), std::string::npos) << history.Out();
}

// What a script reads: --all-ports names a port that does not open and
// fails; a terminating signal during the erase is a stop request, not the
// end of the program.
TEST_F(SafetyFixture, ScriptsAreToldOfEveryPortAndEverySignal)
{
    {
        Simulator sim(dir.File("a.bin"));
        env["VOKTA4_PORTS"] = sim.Port() + ":/nonexistent/ttyMissing";
        Process cli(Write({"--all-ports", "--data-file", dir.Path()}), env);
        EXPECT_NE(cli.Wait(), 0) << cli.Out();
        EXPECT_NE(cli.Out().find("ttyMissing"), std::string::npos) << cli.Out();
    }
    Simulator sim(dir.File("b.bin"), {"--erase-ms", "1500"});
    Process cli(Write({"--port", sim.Port(), "--data-file", dir.File("vokt.tmp")}), env);
    ASSERT_TRUE(cli.WaitForOutput("Rom all Clear.")) << cli.Err();
    // The log line comes just before the first clear command goes out; a
    // signal in between rightly stops the update with the radio unchanged.
    // Half a second later the radio is surely erasing.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cli.Signal(SIGQUIT);
    EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    EXPECT_NE(cli.Err().find("the update goes on"), std::string::npos) << cli.Err();
}
