// The service bench: `vokta4-cli station` over simulated USB adapters that
// are plugged in, pulled out and plugged back while it runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "process.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

namespace {

using Json = nlohmann::json;

struct StationFixture : ::testing::Test, CliWorkspace {
    StationFixture() : CliWorkspace(7)
    {
        std::filesystem::create_directory(dir.File("adapters"));
        std::filesystem::create_directory(dir.File("data"));
        env["VOKTA4_ADAPTERS"] = dir.File("adapters");
    }
    // A radio behind a simulated USB adapter with serial number `serial`.
    std::unique_ptr<Simulator> Adapter(const std::string& serial, std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--adapters", dir.File("adapters"), "--usb-serial", serial});
        return std::make_unique<Simulator>(dir.File(serial + ".bin"), options);
    }
    std::vector<std::string> StationCommand(std::vector<std::string> extra) const
    {
        std::vector<std::string> argv = {VOKTA4_CLI,    "station",          "--firmware",   dir.File("fw.002"),
                                         "--data-file", dir.File("data"),   "--boot-image", VOKTA4_SIM_BOOT};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    // The JSON lines printed so far.
    static std::vector<Json> Lines(Process& p)
    {
        std::vector<Json> lines;
        std::istringstream in(p.Out());
        for (std::string line; std::getline(in, line);)
            lines.push_back(Json::parse(line, nullptr, false));
        return lines;
    }
    // Waits until `count` lines match (false after a minute).
    static bool WaitFor(Process& p, const std::function<bool(const Json&)>& match, int count = 1)
    {
        for (int i = 0; i < 1200; ++i) {
            int n = 0;
            for (const Json& j : Lines(p))
                n += j.is_object() && match(j) ? 1 : 0;
            if (n >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    static std::function<bool(const Json&)> Finished(const std::string& position)
    {
        return [position](const Json& j) { return j.value("event", "") == "finished" && j.value("position", "") == position; };
    }
    static int Count(Process& p, const std::function<bool(const Json&)>& match)
    {
        int n = 0;
        for (const Json& j : Lines(p))
            n += j.is_object() && match(j) ? 1 : 0;
        return n;
    }
};

// A position is its adapter: pulled out during the write, the update fails
// as a hung-up line with its entry open; plugged back under another port
// name it is the same position, and the radio left erased is refused, not
// written blank. Each radio needs its own key: a position that is done
// waits, and updates again only when its key is pressed.
TEST_F(StationFixture, APositionIsItsAdapterAndEachRadioNeedsItsOwnKey)
{
    dir.Write("bench.txt", "# the shop's bench\nbench A = USB SN-A\nbench B = USB SN-B\n");
    auto a = Adapter("SN-A");
    auto b = Adapter("SN-B");
    Process cli(StationCommand({"--json", "--positions", dir.File("bench.txt")}), env, "", false);
    const auto adapterOf = [](const std::string& position, bool present) {
        return [=](const Json& j) {
            return j.value("event", "") == "adapter" && j.value("position", "") == position &&
                   j.value("present", !present) == present;
        };
    };
    ASSERT_TRUE(WaitFor(cli, adapterOf("bench A", true))) << cli.Out() << cli.Err();
    ASSERT_TRUE(WaitFor(cli, adapterOf("bench B", true))) << cli.Out() << cli.Err();
    std::string portB;
    for (const Json& j : Lines(cli))
        portB = adapterOf("bench B", true)(j) ? j.value("port", "") : portB;
    cli.Input("\n");  // Enter: both positions
    ASSERT_TRUE(WaitFor(cli, [](const Json& j) {
        return j.value("position", "") == "bench B" && j.value("event", "") == "progress" &&
               j.value("id", "") == "write" && j.value("percent", 0) >= 10;
    })) << cli.Out();
    b->Signal(SIGUSR1);  // pulled out while the firmware is written
    ASSERT_TRUE(WaitFor(cli, Finished("bench B"))) << cli.Out();
    ASSERT_TRUE(WaitFor(cli, adapterOf("bench B", false))) << cli.Out();
    b->Signal(SIGUSR2);  // plugged back: another port name, the same position
    ASSERT_TRUE(WaitFor(cli, adapterOf("bench B", true), 2)) << cli.Out();
    std::string portAgain;
    for (const Json& j : Lines(cli))
        portAgain = adapterOf("bench B", true)(j) ? j.value("port", "") : portAgain;
    EXPECT_NE(portAgain, portB);
    EXPECT_EQ(Count(cli, [](const Json& j) { return j.value("event", "") == "adapter" && j.value("key", 0) == 3; }), 0)
        << "the adapter plugged back became a new position";

    ASSERT_TRUE(WaitFor(cli, Finished("bench A"))) << cli.Out();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(Count(cli, Finished("bench A")), 1) << "a radio was updated again without a key";
    cli.Input("1\n2\n");
    ASSERT_TRUE(WaitFor(cli, Finished("bench A"), 2)) << cli.Out();
    ASSERT_TRUE(WaitFor(cli, Finished("bench B"), 2)) << cli.Out();
    cli.CloseInput();
    EXPECT_EQ(cli.Wait(), 2) << cli.Err();

    std::vector<Json> ends;
    for (const Json& j : Lines(cli)) {
        EXPECT_TRUE(j.is_object()) << cli.Out();
        if (j.value("event", "") == "finished")
            ends.push_back(j);
    }
    ASSERT_EQ(ends.size(), 4u) << cli.Out();
    for (const Json& end : ends) {
        const std::string position = end.value("position", "");
        EXPECT_EQ(end["record"]["position"], position);
        EXPECT_EQ(end["record"]["adapter"]["identity"], position == "bench A" ? "USB SN-A" : "USB SN-B");
    }
    // bench B: pulled out after the erase began, then its radio (its
    // channel area erased) refused, the restore command at hand.
    int bSeen = 0;
    std::string restore;
    for (const Json& end : ends) {
        if (end["position"] != "bench B")
            continue;
        EXPECT_EQ(end.value("exit_status", -1), 2) << end.dump();
        restore = end.value("restore_command", "");
        ++bSeen;
    }
    EXPECT_EQ(bSeen, 2);
    a->Stop();  // its flash saved
    EXPECT_EQ(ReadBinary(dir.File("SN-A.bin")), ExpectedFlash(7, kMarkerRelease));
    Process history({VOKTA4_CLI, "history", "--record", dir.File("data/vokta4-history.jsonl")}, env);
    history.Wait();
    EXPECT_NE(history.Out().find("UNFINISHED"), std::string::npos) << history.Out();

    // The printed command names the adapter, not the port name it had: taken
    // literally after the replug, it finds the radio and restores it.
    EXPECT_NE(restore.find("'USB SN-B'"), std::string::npos) << restore;
    std::vector<std::string> argv = ShellWords(restore);
    argv.push_back("--yes");
    Process again(argv, env);
    EXPECT_EQ(again.Wait(), 0) << again.Err();
    b->Stop();
    EXPECT_EQ(ReadBinary(dir.File("SN-B.bin")), ExpectedFlash(7, kMarkerRelease));
}

// The positions file numbers the bench in its order and shows a missing
// adapter; a key for it opens nothing, a line end of CR LF is one Enter,
// and the last key without its line end still counts. Once the input ends
// the station says so and ends.
TEST_F(StationFixture, ThePositionsFileSetsTheBenchAndAKeyOpensOnlyItsOwnAdapter)
{
    dir.Write("bench.txt", "bench 1 = USB SN-MISSING\nbench 2 = USB SN-B\n");
    auto b = Adapter("SN-B");
    auto c = Adapter("SN-C");
    Process cli(StationCommand({"--json", "--positions", dir.File("bench.txt"), "--port", "USB SN-B", "--port",
                                "ttyNOWHERE", "--port", "USB SN-C"}),
                env, "", false);
    for (const std::string position : {"bench 2", "position 3"}) {
        ASSERT_TRUE(WaitFor(cli, [position](const Json& j) {
            return j.value("event", "") == "adapter" && j.value("position", "") == position &&
                   j.value("key", 0) == position.back() - '0';
        })) << cli.Out() << cli.Err();
    }
    // The missing position with a Windows line end (one Enter, not an
    // Enter for every waiting position more), then bench 2 with none.
    cli.Input("1\r\n2");
    cli.CloseInput();
    EXPECT_EQ(cli.Wait(std::chrono::seconds(180)), 0) << cli.Err();
    EXPECT_EQ(Count(cli, Finished("bench 2")), 1) << cli.Out();
    EXPECT_EQ(Count(cli, Finished("bench 1")), 0) << cli.Out();
    EXPECT_EQ(Count(cli, Finished("position 3")), 0) << "a radio updated without its key: " << cli.Out();
    const std::string err = cli.Err();
    EXPECT_NE(err.find("bench 1: adapter USB SN-MISSING is unplugged"), std::string::npos) << err;
    EXPECT_NE(err.find("--port ttyNOWHERE names no adapter"), std::string::npos) << err;
    EXPECT_NE(err.find("no more keys can come"), std::string::npos) << err;
    b->Stop();
    EXPECT_EQ(ReadBinary(dir.File("SN-B.bin")), ExpectedFlash(7, kMarkerRelease));
}

// On a 40-column terminal the live table keeps every line inside the width,
// and ends with the shift's tally.
TEST_F(StationFixture, TheLiveTableFitsAFortyColumnTerminal)
{
    auto a = Adapter("SN-A");
    auto b = Adapter("SN-B-WITH-A-LONG-SERIAL-NUMBER");
    std::string command = "stty cols 40 rows 30 && exec";
    for (const std::string& arg : StationCommand({}))
        command += " '" + arg + "'";
    Process cli({"/usr/bin/script", "-qfec", command, "/dev/null"}, env, "", false);
    ASSERT_TRUE(cli.WaitForOutput("key 2")) << cli.Out();
    cli.Input("\nq\n");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(180)), 0) << cli.Out();
    const std::string out = cli.Out();
    std::string tooWide;
    int tableLines = 0;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        // What the terminal shows of the line: after the last erase.
        const std::size_t erase = line.rfind("\x1b[J");
        std::string shown = erase == std::string::npos ? line : line.substr(erase + 3);
        while (!shown.empty() && shown.back() == '\r')
            shown.pop_back();
        if (shown.find("keys:") == 0)
            ++tableLines;
        // The table's lines; the lines said above it may wrap.
        if (shown.find("  updating") == 0 || shown.find("  waiting") == 0 || shown.find("keys:") == 0 ||
            shown.find(" done,") == 1) {
            if (shown.size() >= 40)
                tooWide += shown + "\n";
        }
    }
    EXPECT_GT(tableLines, 3);
    EXPECT_EQ(tooWide, "");
    // The keys typed are not echoed: an echoed line would push the table
    // down a line for every key.
    EXPECT_EQ(out.find("\nq\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("2 done, 0 failed, 0 need another update"), std::string::npos) << out;
}

}  // namespace
