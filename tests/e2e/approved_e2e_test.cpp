// The shop's catalogue of approved firmware, through a portable copy of the
// program: every path that writes a radio checks the firmware before the
// port opens, an unlisted file needs a reason, and a damaged catalogue stops
// every update with its line named.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "process.h"

namespace {

struct ApprovedFixture : ::testing::Test, CliWorkspace {
    std::string cli = dir.File("vokta4-cli");

    ApprovedFixture() : CliWorkspace(5)
    {
        std::filesystem::copy_file(VOKTA4_CLI, cli);
        dir.Write("unlisted.002", FirmwareText(6));
    }
    std::vector<std::string> Write(std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {cli, "write", "--yes", "--boot-image", VOKTA4_SIM_BOOT};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
};

}  // namespace

TEST_F(ApprovedFixture, EveryPathWritesOnlyApprovedFirmwareUnlessGivenAReason)
{
    Process none({cli, "approved"}, env);
    EXPECT_EQ(none.Wait(), 0);
    EXPECT_NE(none.Out().find("no catalogue of approved firmware is in force"), std::string::npos) << none.Out();
    Process approve({cli, "approve", dir.File("fw.002"), "--model", "VR-3900", "--release", "R01.00"}, env);
    ASSERT_EQ(approve.Wait(), 0) << approve.Err();

    struct Path {
        const char* name;
        std::vector<std::string> options;
    };
    for (const Path& path : {Path{"one radio", {}}, Path{"json", {"--json"}}, Path{"two radios", {"two"}}}) {
        const bool two = !path.options.empty() && path.options[0] == "two";
        Simulator a(dir.File(std::string(path.name) + "-a.bin"), {"--transcript", dir.File("t.txt")});
        Simulator b(dir.File(std::string(path.name) + "-b.bin"));
        std::vector<std::string> ports = {"--port", a.Port()};
        if (two)
            ports.insert(ports.end(), {"--port", b.Port()});
        std::vector<std::string> extra = ports;
        extra.insert(extra.end(), {"--data-file", two ? dir.Path() : dir.File("vokt.tmp")});
        if (!two)
            extra.insert(extra.end(), path.options.begin(), path.options.end());

        std::vector<std::string> unlisted = extra;
        unlisted.insert(unlisted.end(), {"--firmware", dir.File("unlisted.002")});
        Process refused(Write(unlisted), env);
        EXPECT_EQ(refused.Wait(), 1) << path.name;
        EXPECT_NE((refused.Out() + refused.Err()).find("not in the catalogue of approved firmware"), std::string::npos)
            << path.name << refused.Out() << refused.Err();

        std::vector<std::string> listed = extra;
        listed.insert(listed.end(), {"--firmware", dir.File("fw.002")});
        Process done(Write(listed), env);
        EXPECT_EQ(done.Wait(), 0) << path.name << done.Out() << done.Err();
        EXPECT_NE((done.Out() + done.Err()).find("approved: VR-3900 R01.00"), std::string::npos) << path.name;
        a.Stop();
        EXPECT_GT(BytesIn(CliWorkspace::Text(dir.File("t.txt"))), 0) << path.name;
    }

    // The station: each radio's key runs the same check.
    std::filesystem::create_directory(dir.File("adapters"));
    std::filesystem::create_directory(dir.File("station"));
    std::map<std::string, std::string> stationEnv = env;
    stationEnv["VOKTA4_ADAPTERS"] = dir.File("adapters");
    Simulator adapter(dir.File("station.bin"), {"--adapters", dir.File("adapters"), "--usb-serial", "SN-1"});
    for (const std::string firmware : {"unlisted.002", "fw.002"}) {
        Process station({cli, "station", "--boot-image", VOKTA4_SIM_BOOT, "--data-file", dir.File("station"),
                         "--firmware", dir.File(firmware)},
                        stationEnv, "\nq\n");
        const bool listed = firmware == "fw.002";
        EXPECT_EQ(station.Wait(), listed ? 0 : 1) << station.Out() << station.Err();
        EXPECT_NE(station.Out().find(listed ? "approved: VR-3900 R01.00" : "not in the catalogue of approved firmware"),
                  std::string::npos)
            << station.Out();
    }

    // The technician's reason lets an unlisted file through, into the record.
    Simulator sim(dir.File("reason.bin"));
    Process insisted(Write({"--port", sim.Port(), "--data-file", dir.File("vokt.tmp"), "--firmware",
                            dir.File("unlisted.002"), "--unapproved", "field trial"}),
                     env);
    EXPECT_EQ(insisted.Wait(), 0) << insisted.Err();
    EXPECT_NE(CliWorkspace::Text(dir.File("vokta4-history.jsonl")).find("\"unapproved\":\"field trial\""),
              std::string::npos);

    // A damaged catalogue: no radio is written, and its line is named.
    std::ofstream(dir.File("vokta4-approved.jsonl"), std::ios::app) << "{\"sha256\":\"12\"}\n";
    Process damaged(Write({"--port", sim.Port(), "--data-file", dir.File("vokt.tmp"), "--firmware",
                           dir.File("fw.002")}),
                    env);
    EXPECT_EQ(damaged.Wait(), 1);
    EXPECT_NE(damaged.Err().find("vokta4-approved.jsonl, line 2"), std::string::npos) << damaged.Err();
}
