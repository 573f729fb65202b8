// The service shop: several radios from one command, the service record,
// read-back verification and machine-readable progress. Real programs over
// pseudo-terminals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <map>
#include <cstdio>
#include <sstream>

#include "process.h"
#include "sim/radio_model.h"
#include "update/channel_backup.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

namespace {

struct FleetFixture : ::testing::Test, CliWorkspace {
    FleetFixture() : CliWorkspace(7) {}
    std::vector<std::string> Write(const std::vector<std::string>& ports, std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {VOKTA4_CLI,   "write",          "--yes", "--firmware", dir.File("fw.002"),
                                         "--data-file", dir.Path(),      "--boot-image", VOKTA4_SIM_BOOT};
        for (const std::string& p : ports)
            argv.insert(argv.end(), {"--port", p});
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    std::vector<nlohmann::json> Lines(const std::string& text)
    {
        std::vector<nlohmann::json> lines;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(nlohmann::json::parse(line, nullptr, false));
            EXPECT_FALSE(lines.back().is_discarded()) << line;
        }
        return lines;
    }
    std::string Sha256sum(const std::string& path)
    {
        std::FILE* p = ::popen(("sha256sum '" + path + "'").c_str(), "r");
        char digest[65] = {};
        EXPECT_EQ(std::fread(digest, 1, 64, p), 64u);
        ::pclose(p);
        return digest;
    }
};

}  // namespace

// Two radios, then eight, at once: one fails after the erase, the others are
// updated and verified, each has its record, and the exit status is the worst.
TEST_F(FleetFixture, SeveralRadiosAtOnceOneFailingAfterTheErase)
{
    for (const int count : {2, 8}) {
        std::vector<std::unique_ptr<Simulator>> sims;
        std::vector<std::string> ports;
        for (int i = 0; i < count; ++i) {
            std::vector<std::string> options;
            if (i == 1)
                options = {"--fault", "wdata:40:5:silence"};  // fails after the erase
            sims.push_back(std::make_unique<Simulator>(dir.File("flash-" + std::to_string(count) + "-" +
                                                                std::to_string(i) + ".bin"),
                                                       options));
            ports.push_back(sims.back()->Port());
        }
        std::remove(dir.File("vokta4-history.jsonl").c_str());
        Process cli(Write(ports, {"--verify"}), env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(180)), 2) << cli.Out() << cli.Err();
        EXPECT_NE(cli.Out().find("RESULT"), std::string::npos) << cli.Out();
        for (int i = 0; i < count; ++i) {
            sims[static_cast<std::size_t>(i)]->Stop();
            const std::vector<std::uint8_t> flash =
                ReadBinary(dir.File("flash-" + std::to_string(count) + "-" + std::to_string(i) + ".bin"));
            if (i != 1) {
                EXPECT_EQ(flash, ExpectedFlash(7, kMarkerRelease))
                    << "radio " << i << ", its log:\n"
                    << Text(dir.File("vokt-" + ChannelBackupTag(ports[static_cast<std::size_t>(i)]) + ".log"));
            }
        }

        const std::vector<nlohmann::json> records = Lines(Text(dir.File("vokta4-history.jsonl")));
        ASSERT_EQ(records.size(), static_cast<std::size_t>(count));
        const std::string digest = Sha256sum(dir.File("fw.002"));
        for (const nlohmann::json& r : records) {
            EXPECT_EQ(r["firmware"]["sha256"], digest);
            const bool failed = r["port"] == ports[1];
            EXPECT_EQ(r["state"], failed ? "needs another update" : "updated") << r.dump();
            EXPECT_EQ(r["result"], failed ? "Firm write error." : "Done.");
            if (!failed) {
                EXPECT_EQ(r["verified"], "yes");
            }
            EXPECT_FALSE(r["backup"].get<std::string>().empty());
        }
    }
}

// On a terminal narrower than a row: every row of the live table stays on
// its own line, a finished radio stays at 100 %, and the command that
// restores the failed radio comes after the summary, where no redrawing
// reaches it.
TEST_F(FleetFixture, TheLiveTableFitsANarrowTerminalAndLeavesTheRestoreCommandStanding)
{
    // The good radio must end "Done." for its row to be judged; on a machine
    // too loaded for the product's time-outs it may fail too, and then the
    // whole run is made once more.
    for (int attempt = 1;; ++attempt) {
        const std::string run = std::to_string(attempt);
        Simulator good(dir.File("flash-good-" + run + ".bin"));
        Simulator bad(dir.File("flash-bad-" + run + ".bin"), {"--fault", "wdata:40:5:silence"});
        std::string command = "stty cols 40 rows 40 && exec";
        for (const std::string& arg : Write({good.Port(), bad.Port()}, {}))
            command += " '" + arg + "'";
        Process cli({"/usr/bin/script", "-qfec", command, "/dev/null"}, env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(180)), 2)
            << cli.Out() << "\nthe radios' logs:\n"
            << Text(dir.File("vokt-" + ChannelBackupTag(good.Port()) + ".log"))
            << Text(dir.File("vokt-" + ChannelBackupTag(bad.Port()) + ".log"));
        const std::string out = cli.Out();
        const std::size_t summary = out.rfind("SECONDS");
        ASSERT_NE(summary, std::string::npos) << out;
        const std::size_t goodResult = out.find("\n" + good.Port() + " ", summary);
        ASSERT_NE(goodResult, std::string::npos) << out;
        const std::string goodLine = out.substr(goodResult + 1, out.find('\n', goodResult + 1) - goodResult - 1);
        if (goodLine.find(" Done.") == std::string::npos) {
            ASSERT_LT(attempt, 2) << "the good radio failed twice:\n" << out;
            continue;
        }
        // 40 columns: each radio's short port name, percent and retries on
        // one line, its step or result under it, nothing wider than the
        // terminal.
        const std::string goodName = good.Port().substr(good.Port().rfind('/') + 1);
        std::string lastGoodRow, tooWide;
        int rows = 0;
        bool failedShown = false;
        for (std::size_t at = out.find("\x1b[K"); at != std::string::npos; at = out.find("\x1b[K", at + 1)) {
            std::string row = out.substr(at + 3, out.find('\n', at) - at - 3);
            while (!row.empty() && row.back() == '\r')
                row.pop_back();
            if (row.size() >= 40)
                tooWide += row + "\n";
            ++rows;
            if (row.rfind(goodName + " ", 0) == 0)
                lastGoodRow = row;
            failedShown = failedShown || row.find("  FAILED") == 0 || row.find("  failed: ") == 0;
        }
        EXPECT_GT(rows, 3);
        EXPECT_EQ(tooWide, "");
        EXPECT_NE(lastGoodRow.find("100%"), std::string::npos) << lastGoodRow << "\n" << out;
        EXPECT_TRUE(failedShown) << out;
        const std::size_t restore = out.find("needs another update; with its channel data:");
        ASSERT_NE(restore, std::string::npos) << out;
        EXPECT_GT(restore, summary) << out;
        EXPECT_EQ(out.find("\x1b[", summary), std::string::npos) << out;
        return;
    }
}

// --json: every line is one JSON object, and the last is the result. Steps
// by id and progress in the step's unit come from the core's typed events
// (never from the log's text): a radio that is done, and one that fails
// after the erase with its failed step, reason and restore command.
TEST_F(FleetFixture, JsonProgressParsesLineByLineAndEndsInTheResult)
{
    Simulator sim(dir.File("flash.bin"));
    Simulator bad(dir.File("flash-bad.bin"), {"--fault", "wdata:40:5:silence"});
    Process cli(Write({sim.Port(), bad.Port()}, {"--json"}), env);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(180)), 2) << cli.Err();
    const std::vector<nlohmann::json> lines = Lines(cli.Out());
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines.back()["event"], "result");
    EXPECT_EQ(lines.back()["exit_status"], 2);
    std::map<std::string, std::vector<std::string>> done;
    std::map<std::string, nlohmann::json> lastWrite, failed, finished;
    for (const nlohmann::json& l : lines) {
        const std::string port = l.value("port", "");
        if (l["event"] == "step" && l["state"] == "done")
            done[port].push_back(l["id"]);
        if (l["event"] == "step" && l["state"] == "failed")
            failed[port] = l;
        if (l["event"] == "progress" && l["id"] == "write")
            lastWrite[port] = l;
        if (l["event"] == "finished")
            finished[port] = l;
    }
    EXPECT_EQ(done[sim.Port()],
              std::vector<std::string>({"power", "connect", "boot", "start", "convert", "read", "clear", "write"}));
    EXPECT_EQ(lastWrite[sim.Port()]["done"], 131072);
    EXPECT_EQ(lastWrite[sim.Port()]["total"], 131072);
    EXPECT_EQ(lastWrite[sim.Port()]["unit"], "bytes");
    EXPECT_EQ(finished[sim.Port()]["exit_status"], 0);
    EXPECT_EQ(finished[sim.Port()]["record"]["result"], "Done.");

    EXPECT_EQ(failed[bad.Port()]["id"], "write");
    EXPECT_EQ(failed[bad.Port()]["message"], "Firm write error.");
    EXPECT_NE(failed[bad.Port()]["reason"].get<std::string>().find("no answer to the block data"), std::string::npos);
    // Progress lines come at each whole percent: the last one before block 40.
    EXPECT_GT(lastWrite[bad.Port()]["done"], 38 * 512);
    EXPECT_LE(lastWrite[bad.Port()]["done"], 40 * 512);
    EXPECT_EQ(finished[bad.Port()]["exit_status"], 2);
    EXPECT_EQ(finished[bad.Port()]["record"]["state"], "needs another update");
    EXPECT_NE(finished[bad.Port()]["restore_command"].get<std::string>().find("--channel-data"), std::string::npos);
}

// Radios stopped by the technician are summarised and recorded as stopped,
// not as the failure of the step they were in; the exit status stays.
TEST_F(FleetFixture, StoppedRadiosAreReportedAsStoppedByTheTechnician)
{
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::string> ports;
    for (int i = 0; i < 2; ++i) {
        sims.push_back(std::make_unique<Simulator>(dir.File("flash-" + std::to_string(i) + ".bin"),
                                                   std::vector<std::string>{"--fault", "read:3:5:silence"}));
        ports.push_back(sims.back()->Port());
    }
    std::remove(dir.File("vokta4-history.jsonl").c_str());
    Process cli(Write(ports, {}), env);
    for (const std::string& port : ports)
        ASSERT_TRUE(cli.WaitForError(port + ": block 0xFF8600, attempt 1 of 5")) << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 1) << cli.Out() << cli.Err();
    EXPECT_EQ(cli.Out().find("failed, unchanged"), std::string::npos) << cli.Out();
    const std::vector<nlohmann::json> records = Lines(Text(dir.File("vokta4-history.jsonl")));
    ASSERT_EQ(records.size(), 2u);
    auto summary = [&](const std::string& port) {
        std::istringstream out(cli.Out());
        std::string line, found;
        while (std::getline(out, line)) {
            if (line.rfind(port + " ", 0) == 0)
                found = line;  // the last row of the port: the summary's
        }
        return found;
    };
    for (const nlohmann::json& r : records) {
        EXPECT_NE(summary(r["port"]).find("stopped by the technician, unchanged"), std::string::npos) << cli.Out();
        EXPECT_EQ(r["result"], "stopped by the technician") << r.dump();
        EXPECT_EQ(r["state"], "unchanged");
        EXPECT_EQ(r["reason"].get<std::string>().rfind("stopped by the technician during the read step", 0), 0u)
            << r.dump();
    }

    // The same stop as JSON Lines: each radio's read step fails as stopped,
    // and its end says so, with the radio unchanged.
    Process json(Write(ports, {"--json"}), env);
    for (const std::string& port : ports)
        ASSERT_TRUE(json.WaitForOutput(port + "\",\"text\":\"block 0xFF8600, attempt 1 of 5")) << json.Out();
    json.Signal(SIGINT);
    EXPECT_EQ(json.Wait(std::chrono::seconds(10)), 1) << json.Err();
    std::map<std::string, nlohmann::json> finished;
    for (const nlohmann::json& l : Lines(json.Out())) {
        if (l["event"] == "finished")
            finished[l["port"]] = l;
    }
    for (const std::string& port : ports) {
        EXPECT_EQ(finished[port]["exit_status"], 1) << json.Out();
        EXPECT_EQ(finished[port]["record"]["result"], "stopped by the technician") << json.Out();
        EXPECT_EQ(finished[port]["record"]["state"], "unchanged");
    }
}

// The record survives a power cut in the middle of an append: the damaged
// line is skipped by the reader, and the next update still appends.
TEST_F(FleetFixture, ADamagedLastLineNeverStopsTheNextAppendOrTheReader)
{
    // A cut-short line, and a record whose fields have the wrong types.
    dir.Write("vokta4-history.jsonl", "{\"start\":\"2026-01-01T00:00:00Z\",\"port\":\"old\"}\n"
                                      "{\"start\":\"2026-07-01T00:00:00Z\",\"port\":7,\"duration_s\":\"long\"}\n"
                                      "{\"start\":\"2026-0");
    Simulator sim(dir.File("flash.bin"));
    Process cli(Write({sim.Port()}, {"--json"}), env);
    EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    Process history({VOKTA4_CLI, "history", "--json", "--record", dir.File("vokta4-history.jsonl")}, env);
    EXPECT_EQ(history.Wait(), 0);
    const std::vector<nlohmann::json> lines = Lines(history.Out());
    ASSERT_EQ(lines.size(), 2u) << history.Out();
    EXPECT_EQ(lines[1]["port"], sim.Port());
    EXPECT_NE(history.Err().find("2 damaged line"), std::string::npos) << history.Err();
    Process table({VOKTA4_CLI, "history", "--since", "2026-06-01", "--record", dir.File("vokta4-history.jsonl")}, env);
    EXPECT_EQ(table.Wait(), 0) << table.Err();
    EXPECT_NE(table.Out().find(sim.Port()), std::string::npos) << table.Out();
    EXPECT_EQ(table.Out().find(" old "), std::string::npos) << table.Out();
}

// history: a port is found under any of its names, --since takes calendar
// dates only, and a folder is not a record.
TEST_F(FleetFixture, HistoryFindsAPortUnderAnyNameAndRefusesWhatItCannotRead)
{
    dir.Write("vokta4-history.jsonl", "{\"start\":\"2026-03-01T08:00:00Z\",\"port\":\"/dev/ttyUSB0\"}\n"
                                      "{\"start\":\"2026-03-02T08:00:00Z\",\"port\":\"ttyUSB0\"}\n"
                                      "{\"start\":\"2026-03-03T08:00:00Z\",\"port\":\"/dev/ttyUSB1\"}\n");
    const std::string record = dir.File("vokta4-history.jsonl");
    const std::string relative = std::filesystem::relative("/dev/ttyUSB0").string();
    for (const std::string& port : {std::string("ttyUSB0"), std::string("/dev/ttyUSB0"), relative}) {
        Process history({VOKTA4_CLI, "history", "--json", "--port", port, "--record", record}, env);
        EXPECT_EQ(history.Wait(), 0) << history.Err();
        const std::vector<nlohmann::json> lines = Lines(history.Out());
        ASSERT_EQ(lines.size(), 2u) << port << ":\n" << history.Out();
        EXPECT_EQ(lines[1]["port"], "ttyUSB0");
    }
    for (const char* since : {"2026-02-30", "2026-3-01", "yesterday", "2026-03-01T08:00"}) {
        Process history({VOKTA4_CLI, "history", "--since", since, "--record", record}, env);
        EXPECT_EQ(history.Wait(), 64) << since;
        EXPECT_NE(history.Err().find("YYYY-MM-DD"), std::string::npos) << history.Err();
        EXPECT_EQ(history.Out(), "");
    }
    Process leap({VOKTA4_CLI, "history", "--json", "--since", "2024-02-29", "--record", record}, env);
    EXPECT_EQ(leap.Wait(), 0) << leap.Err();
    Process folder({VOKTA4_CLI, "history", "--record", dir.Path()}, env);
    EXPECT_EQ(folder.Wait(), 64);
    EXPECT_NE(folder.Err().find("is a folder"), std::string::npos) << folder.Err();
    EXPECT_EQ(folder.Out(), "");
}
