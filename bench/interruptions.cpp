// The interruption campaign: the update is cut at each exchange of the
// radio in turn — the radio loses its power, the line hangs up, the program
// is killed, the technician stops it — and then the technician's next move
// is made: the plain second WRITE (answering every question as --yes does,
// on the same or another port name), the printed restore command, or the
// window's OK to the backup it offers. After each pair the radio's channel
// programming must never be lost and every exit status must tell the truth.
//
//   bench-interruptions [--sample N] [--seed S] [--jobs J]
//
// The simulated radio runs in this process at test timing. A killed program
// is modelled by the radio losing its power at that exchange and the data
// folder going back to what it held at that moment: a killed program writes
// nothing afterwards (no service record, no close of its journal entry).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/in_process_radio.h"
#include "update/memory_map.h"
#include "update/output_guard.h"
#include "update/update_journal.h"
#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using Step = RadioModel::Step;
using Cut = RadioModel::Cut;

namespace {

constexpr int kSeed = 8;  // the firmware's version
enum class Kind { PowerLost, HangUp, Killed, Stopped };
enum class Move { SecondWrite, OtherPortName, RestoreCommand, WindowOk };
constexpr Kind kKinds[] = {Kind::PowerLost, Kind::HangUp, Kind::Killed, Kind::Stopped};

const char* KindName(Kind k)
{
    switch (k) {
    case Kind::PowerLost: return "power lost";
    case Kind::HangUp: return "line hung up";
    case Kind::Killed: return "killed";
    case Kind::Stopped: return "stopped";
    }
    return "?";
}

const char* MoveName(Move m)
{
    switch (m) {
    case Move::SecondWrite: return "second WRITE --yes";
    case Move::OtherPortName: return "second WRITE --yes, other port name";
    case Move::RestoreCommand: return "printed restore command";
    case Move::WindowOk: return "window, OK to the offered backup";
    }
    return "?";
}

// The table's step: the clear commands and the write's two stages together.
const char* StepName(Step s)
{
    return s == Step::Clear1 || s == Step::Clear2          ? "clear"
           : s == Step::WriteCommand || s == Step::WriteData ? "write"
                                                              : RadioModel::StepName(s);
}

int ExitStatus(UpdateOutcome o)
{
    return o == UpdateOutcome::Done                                                          ? 0
           : o == UpdateOutcome::FailedIntact                                                ? 1
           : o == UpdateOutcome::FailedAfterErase || o == UpdateOutcome::ChannelDataLost ? 2
                                                                                             : -1;
}

std::vector<std::uint8_t> ChannelArea(const std::vector<std::uint8_t>& flash)
{
    return std::vector<std::uint8_t>(flash.begin() + (kChannelStart - kImageBase),
                                     flash.begin() + (kChannelEnd + 1 - kImageBase));
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Result {
    UpdateOutcome outcome = UpdateOutcome::None;
    std::string backup;                // the backup this update saved
    std::vector<std::string> offered;  // backups offered or named in a refusal
    std::string detail;
    double seconds = 0;
};

// One radio and one data folder, updated again and again.
class Workbench {
public:
    std::vector<std::uint8_t> flash = RadioModel::FactoryFlash();
    TempDir dir;

    Workbench()
    {
        dir.Write("boot.s19", kSimBootProgram);
        dir.Write("fw.002", FirmwareText(kSeed));
    }

    // One WRITE; `cut` is asked before each of the radio's answers, with
    // the dialog and its view.
    Result Write(const std::string& port, ErasedChannelArea policy, const std::string& channelData,
                 const std::function<Cut(int, Step, UpdaterDialog&, ScriptedView&)>& cut = nullptr)
    {
        ScriptedView view;
        UpdaterDialog* running = nullptr;
        RadioModel::Settings settings;
        settings.abandonAfter = std::chrono::milliseconds(90);
        if (cut)
            settings.beforeAnswer = [&](int n, Step s) { return cut(n, s, *running, view); };
        InProcessRadio radio(settings);
        radio.Model().SetFlash(flash);
        TestHost host;
        host.portNames = {port};
        host.backends = [&] { return radio.MakeBackend(); };
        host.moduleFile = dir.File("vokta4");
        Result r;
        {
            UpdaterDialog dialog(view, host, FastTiming());
            running = view.dialog = &dialog;
            dialog.OnInitDialog("");
            UpdateRequest& o = dialog.Options();
            o.dataFilePath = dir.File("vokt.tmp");
            o.erasedChannelArea = policy;
            dialog.Renderer().reasonsInLog = false;
            if (!channelData.empty()) {
                o.channelData = ReadFile(channelData);
                o.channelDataFile = channelData;
            }
            const auto start = std::chrono::steady_clock::now();
            dialog.OnWrite();
            r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            r.outcome = dialog.LastOutcome();
            r.backup = dialog.ChannelBackupPath();
            r.offered = dialog.OfferedBackups();
            r.detail = dialog.FailureDetail();
        }
        flash = radio.Model().Flash();
        return r;
    }

    // The journal and the backups as they are now, and back to them: what a
    // killed program leaves is what it had written when it died.
    void Snapshot()
    {
        m_snapshot.clear();
        for (const fs::directory_entry& e : fs::directory_iterator(dir.Path())) {
            const std::string ext = e.path().extension().string();
            if (ext == ".chd" || ext == ".jsonl")
                m_snapshot[e.path().string()] = ReadFile(e.path().string());
        }
    }
    void BackToSnapshot()
    {
        for (const fs::directory_entry& e : fs::directory_iterator(dir.Path())) {
            const std::string ext = e.path().extension().string();
            if ((ext == ".chd" || ext == ".jsonl") && !m_snapshot.count(e.path().string()))
                fs::remove(e.path());
        }
        for (const auto& [path, bytes] : m_snapshot) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
    }

private:
    std::map<std::string, std::vector<std::uint8_t>> m_snapshot;
};

struct Run {
    Kind kind;
    int at;  // the exchange (the radio's answer) where the update is cut
    Move move;
};

struct Verdict {
    Step step = Step::Contact;
    int interruptedExit = -1;
    std::vector<std::string> violations;
};

// The checks after one interruption and the technician's moves.
class Campaign {
public:
    explicit Campaign(std::vector<Step> steps) : m_steps(std::move(steps)) {}

    Verdict Try(const Run& run)
    {
        Verdict v;
        v.step = m_steps[static_cast<std::size_t>(run.at)];
        Workbench bench;
        const std::vector<std::uint8_t> original = ChannelArea(bench.flash);
        const std::vector<std::uint8_t> expected = ExpectedFlash(kSeed, kMarkerRelease);
        auto fail = [&v](const std::string& what) { v.violations.push_back(what); };

        const Result cut = bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, "",
                                       [&](int n, Step, UpdaterDialog& dialog, ScriptedView& view) {
                                           if (n != run.at)
                                               return Cut::None;
                                           switch (run.kind) {
                                           case Kind::PowerLost: return Cut::PowerOff;
                                           case Kind::HangUp: return Cut::HangUp;
                                           case Kind::Killed:
                                               bench.Snapshot();
                                               return Cut::PowerOff;
                                           case Kind::Stopped:
                                               // As the stop policies do: accepted before the erase, or
                                               // the second Ctrl-C (the window's CLOSE) after it.
                                               dialog.AcceptStopBeforeErase();
                                               view.PostClose();
                                               return Cut::None;
                                           }
                                           return Cut::None;
                                       });
        if (cut.seconds > 30)
            fail("the interrupted update took " + std::to_string(cut.seconds) + " s");
        if (run.kind == Kind::Killed) {
            bench.BackToSnapshot();
        } else {
            v.interruptedExit = ExitStatus(cut.outcome);
            CheckExit(cut, bench, expected, fail);
        }
        // The radio is switched on again; the technician's next move.
        std::string restore = run.move == Move::RestoreCommand && run.kind != Kind::Killed ? cut.backup : "";
        const Move move = run.move == Move::RestoreCommand && restore.empty() ? Move::SecondWrite : run.move;
        if (!restore.empty() && !SameChannelData(ReadFile(restore), original))
            fail("the printed restore command names " + restore + ", which is not the radio's channel data");
        const std::vector<std::uint8_t> before = bench.flash;
        Result next = bench.Write(move == Move::OtherPortName ? "/dev/serial/by-id/usb-radio-if00-port0" : "/dev/ttyUSB0",
                                  move == Move::WindowOk ? ErasedChannelArea::Ask : ErasedChannelArea::Refuse, restore);
        // A radio whose channel data look lost is refused (exit 2) with the
        // backups it may need.
        if (next.outcome == UpdateOutcome::ChannelDataLost) {
            if (bench.flash != before)
                fail("a refused WRITE changed the radio");
            // A refusal must name a backup that holds the radio's channel data.
            const auto same = std::find_if(next.offered.begin(), next.offered.end(), [&](const std::string& b) {
                return SameChannelData(ReadFile(b), original);
            });
            if (same == next.offered.end()) {
                fail("the second WRITE refused without naming a backup of the radio's channel data: " + next.detail);
                return v;
            }
            next = bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, *same);
        }
        if (next.outcome != UpdateOutcome::Done)
            fail(std::string(MoveName(move)) + " did not end \"Done.\" (exit " + std::to_string(ExitStatus(next.outcome)) +
                 "): " + next.detail);
        else if (bench.flash != expected)
            fail(std::string(MoveName(move)) + " ended \"Done.\" but the radio's flash is not the firmware with its "
                                               "own channel data");
        return v;
    }

private:
    template <typename Fail>
    void CheckExit(const Result& cut, Workbench& bench, const std::vector<std::uint8_t>& expected, Fail fail)
    {
        switch (cut.outcome) {
        case UpdateOutcome::Done:
            if (bench.flash != expected)
                fail("exit 0, but the radio's flash is not right");
            break;
        case UpdateOutcome::FailedIntact:
            if (bench.flash != RadioModel::FactoryFlash())
                fail("exit 1, but the radio's flash changed");
            break;
        case UpdateOutcome::FailedAfterErase: {
            bool open = false;
            for (const JournalEntry& e : UnfinishedUpdates({bench.dir.Path() + "/"}))
                open = open || SameFile(e.BackupPath(), cut.backup);
            if (cut.backup.empty() || !open)
                fail("exit 2 without a restore command and an open journal entry");
            break;
        }
        default:
            fail("no outcome");
        }
    }

    std::vector<Step> m_steps;
};

// The steps of a clean update's exchanges, in order.
std::vector<Step> CleanUpdate()
{
    std::vector<Step> steps;
    Workbench bench;
    std::mutex m;
    const Result r = bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, "", [&](int, Step s, UpdaterDialog&, ScriptedView&) {
        std::lock_guard<std::mutex> lock(m);
        steps.push_back(s);
        return Cut::None;
    });
    if (r.outcome != UpdateOutcome::Done) {
        std::fprintf(stderr, "the clean update failed: %s\n", r.detail.c_str());
        std::exit(1);
    }
    return steps;
}

// Every exchange with every kind, or `sample` runs: the exchanges spread
// over the update, those where the radio's state changes (the last before
// the erase, the first clear, the first write into the channel area, the
// last acknowledgement), and a seeded few at random.
std::vector<Run> Plan(const std::vector<Step>& steps, int sample, unsigned seed)
{
    const int e = static_cast<int>(steps.size());
    std::vector<Run> runs;
    auto move = [](std::size_t i) { return static_cast<Move>(i % 4); };
    if (sample <= 0) {
        for (int k = 0; k < e; ++k) {
            for (std::size_t kind = 0; kind < 4; ++kind)
                runs.push_back({kKinds[kind], k, move(static_cast<std::size_t>(k) + kind)});
        }
        return runs;
    }
    const int firstClear = static_cast<int>(std::find(steps.begin(), steps.end(), Step::Clear1) - steps.begin());
    const int firstWrite = static_cast<int>(std::find(steps.begin(), steps.end(), Step::WriteCommand) - steps.begin());
    const int channelWrite = std::min(e - 1, firstWrite + 2 * 192 + 1);  // block 192's data stage
    // Where the radio's state changes, with every kind.
    for (int k : {firstClear - 1, firstClear, channelWrite, channelWrite + 21, e - 1}) {
        for (std::size_t kind = 0; kind < 4 && static_cast<int>(runs.size()) < sample; ++kind)
            runs.push_back({kKinds[kind], k, move(static_cast<std::size_t>(k) + kind)});
    }
    // Spread over the update, then a seeded few at random.
    const int left = sample - static_cast<int>(runs.size());
    const int spread = left - left / 4;
    for (int i = 0; i < spread; ++i)
        runs.push_back({kKinds[i % 4], i * e / spread, move(static_cast<std::size_t>(i / 4 + i))});
    std::mt19937 random(seed);
    for (int i = static_cast<int>(runs.size()); i < sample; ++i)
        runs.push_back({kKinds[random() % 4], static_cast<int>(random() % static_cast<unsigned>(e)),
                        move(random())});
    return runs;
}

int Argument(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const int sample = Argument(argc, argv, "--sample", 0);
    const unsigned seed = static_cast<unsigned>(Argument(argc, argv, "--seed", 1));
    const int jobs = std::max(1, Argument(argc, argv, "--jobs", 1));
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Step> steps = CleanUpdate();
    const std::vector<Run> runs = Plan(steps, sample, seed);
    std::printf("a clean update: E = %zu exchanges; %zu runs\n", steps.size(), runs.size());

    Campaign campaign(steps);
    std::vector<Verdict> verdicts(runs.size());
    std::atomic<std::size_t> next{0};
    std::mutex printing;
    auto worker = [&] {
        for (std::size_t i; (i = next++) < runs.size();) {
            verdicts[i] = campaign.Try(runs[i]);
            std::lock_guard<std::mutex> lock(printing);
            for (const std::string& v : verdicts[i].violations)
                std::printf("VIOLATION: %s at exchange %d (%s), then %s: %s\n", KindName(runs[i].kind), runs[i].at,
                            StepName(verdicts[i].step), MoveName(runs[i].move), v.c_str());
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j)
        threads.emplace_back(worker);
    for (std::thread& t : threads)
        t.join();

    // The table: runs and violations by kind and step, with the exit
    // statuses of the interrupted updates.
    struct Cell {
        int runs = 0, violations = 0, exits[3] = {0, 0, 0};
    };
    std::map<std::pair<std::string, std::string>, Cell> table;
    int violations = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        Cell& c = table[{KindName(runs[i].kind), StepName(verdicts[i].step)}];
        ++c.runs;
        c.violations += verdicts[i].violations.empty() ? 0 : 1;
        violations += verdicts[i].violations.empty() ? 0 : 1;
        if (verdicts[i].interruptedExit >= 0 && verdicts[i].interruptedExit <= 2)
            ++c.exits[verdicts[i].interruptedExit];
    }
    std::printf("%-14s %-8s %6s %7s %7s %7s %10s\n", "KIND", "STEP", "RUNS", "EXIT 0", "EXIT 1", "EXIT 2", "VIOLATIONS");
    for (const auto& [key, c] : table)
        std::printf("%-14s %-8s %6d %7d %7d %7d %10d\n", key.first.c_str(), key.second.c_str(), c.runs, c.exits[0],
                    c.exits[1], c.exits[2], c.violations);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f s\n%zu runs, %d violations\n", seconds, runs.size(), violations);
    return violations == 0 ? 0 : 1;
}
