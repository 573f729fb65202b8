// The interruption campaign: the update is cut at each exchange of the
// radio in turn — the radio loses its power, the line hangs up, the program
// is killed, the technician stops it — and then the technician's next move
// is made: the plain second WRITE (answering every question as --yes does,
// on the same or another port name, or from another data folder), the
// printed restore command (also first pasted while another radio is on that
// port, or with its backup altered), the window's OK to the backup it
// offers, or another radio with data of its own updated first with truthful
// answers while the two swap ports, or a station's adapter pulled out and
// plugged back under another port name, its key pressed again. After each run no radio may end with
// channel data other than its own, no channel data may be replaced without
// a copy, and every exit status must tell the truth.
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
#include "update/channel_area.h"
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
enum class Move {
    SecondWrite,
    OtherPortName,
    RestoreCommand,
    WindowOk,
    AnotherRadio,
    RestoreIntoAnotherRadio,
    OtherDataFolder,
    BackupAltered,
    StationReplug  // a station's adapter pulled out (the line hangs up), plugged back, the key again
};
constexpr std::size_t kMoves = 9;
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
    case Move::AnotherRadio: return "another radio updated first, ports swapped";
    case Move::RestoreIntoAnotherRadio: return "restore command pasted with another radio on the port";
    case Move::OtherDataFolder: return "second WRITE --yes from another data folder";
    case Move::BackupAltered: return "restore command with its backup altered";
    case Move::StationReplug: return "station: adapter plugged back as another port, key again";
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
    bool replacedWithoutCopy = false;  // the radio's channel data changed and no backup holds what it had
    std::string backup;                // the backup this update saved
    std::vector<std::string> offered;  // backups offered or named in a refusal
    std::string detail;
    double seconds = 0;
    bool radioDroppedAStage = false;  // a pause on the line made the radio abandon a frame or block
};

// How one WRITE differs from the plain one.
struct WriteWith {
    bool anotherRadio = false;    // the other radio, not the one interrupted
    std::string dataFile;         // empty: the bench's vokt.tmp
    bool cancelChannelQuestions = false;  // the technician knows the radio holds its own data
    bool station = false;         // a station's position: its label and adapter in the request
};

// True when some backup below `folder` holds `area`'s channel data.
bool BackupHolds(const std::string& folder, const std::vector<std::uint8_t>& area)
{
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        if (e.path().extension() == ".chd" && SameChannelData(ReadFile(e.path().string()), area))
            return true;
    }
    return false;
}

// Two radios (the one interrupted, another with channel data of its own),
// one data folder and one user's state folder, updated again and again.
class Workbench {
public:
    std::vector<std::uint8_t> flash = RadioModel::FactoryFlash();
    std::vector<std::uint8_t> other = AnotherRadiosFlash();
    TempDir dir;

    Workbench()
    {
        dir.Write("boot.s19", kSimBootProgram);
        dir.Write("fw.002", FirmwareText(kSeed));
        fs::create_directories(fs::u8path(dir.File("state")));
        fs::create_directories(fs::u8path(dir.File("other")));
    }

    static std::vector<std::uint8_t> AnotherRadiosFlash()
    {
        std::vector<std::uint8_t> f = RadioModel::FactoryFlash();
        for (std::uint32_t a = kChannelStart; a <= kChannelEnd; ++a)
            f[a - kImageBase] = static_cast<std::uint8_t>(a * 11);
        return f;
    }

    // One WRITE; `cut` is asked before each of the radio's answers, with
    // the dialog and its view.
    Result Write(const std::string& port, ErasedChannelArea policy, const std::string& channelData,
                 const std::function<Cut(int, Step, UpdaterDialog&, ScriptedView&)>& cut = nullptr,
                 const WriteWith& with = WriteWith())
    {
        std::vector<std::uint8_t>& target = with.anotherRadio ? other : flash;
        const std::vector<std::uint8_t> before = ChannelArea(target);
        ScriptedView view;
        view.cancelChannelQuestions = with.cancelChannelQuestions;
        UpdaterDialog* running = nullptr;
        RadioModel::Settings settings;
        settings.abandonAfter = std::chrono::milliseconds(90);
        if (cut)
            settings.beforeAnswer = [&](int n, Step s) { return cut(n, s, *running, view); };
        InProcessRadio radio(settings);
        radio.Model().SetFlash(target);
        TestHost host;
        host.portNames = {port};
        host.backends = [&] { return radio.MakeBackend(); };
        host.moduleFile = dir.File("vokta4");
        host.stateFolder = dir.File("state") + "/";
        Result r;
        {
            UpdaterDialog dialog(view, host, FastTiming());
            running = view.dialog = &dialog;
            dialog.OnInitDialog("");
            UpdateRequest& o = dialog.Options();
            o.dataFilePath = with.dataFile.empty() ? dir.File("vokt.tmp") : with.dataFile;
            o.erasedChannelArea = policy;
            if (with.station) {
                o.position = "bench 1";
                o.adapterIdentity = "USB BENCH-1";
            }
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
        target = radio.Model().Flash();
        r.radioDroppedAStage = !radio.Model().GetTranscript().abandoned.empty();
        r.replacedWithoutCopy = !SameChannelData(before, ChannelArea(target)) && !ChannelDataErased(before) &&
                                !BackupHolds(dir.Path(), before);
        return r;
    }

    // The journal and the backups as they are now, and back to them: what a
    // killed program leaves is what it had written when it died.
    void Snapshot()
    {
        m_snapshot.clear();
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir.Path())) {
            const std::string ext = e.path().extension().string();
            if (ext == ".chd" || ext == ".jsonl")
                m_snapshot[e.path().string()] = ReadFile(e.path().string());
        }
    }
    void BackToSnapshot()
    {
        std::vector<fs::path> added;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir.Path())) {
            const std::string ext = e.path().extension().string();
            if ((ext == ".chd" || ext == ".jsonl") && !m_snapshot.count(e.path().string()))
                added.push_back(e.path());
        }
        for (const fs::path& path : added)
            fs::remove(path);
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
    std::string ownEnd;  // how the update ended on its own before its exchange came (empty: it came)
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

        const bool station = run.move == Move::StationReplug;
        std::atomic<bool> cutCame{false};
        const Result cut = bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, "",
                                       [&](int n, Step, UpdaterDialog& dialog, ScriptedView& view) {
                                           if (n != run.at)
                                               return Cut::None;
                                           cutCame = true;
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
                                       },
                                       {false, "", false, station});
        if (cut.seconds > 30)
            fail("the interrupted update took " + std::to_string(cut.seconds) + " s");
        // At test timing a machine under a heavy load can end the update
        // before its exchange comes: it fails on its own (a pause made the
        // radio abandon a stage), or the clean update counted a retry this
        // one did not need. Such an end is one more interruption: no kill is
        // modelled (nothing was saved to go back to), and it is checked as it
        // ended. A failure on a line where the radio heard no pause is the
        // tool's own.
        const bool killed = run.kind == Kind::Killed && cutCame;
        if (!cutCame) {
            v.ownEnd = "exit " + std::to_string(ExitStatus(cut.outcome)) + (cut.detail.empty() ? "" : ": ") +
                           cut.detail;
            if (cut.outcome != UpdateOutcome::Done && !cut.radioDroppedAStage)
                fail("the update failed on its own, on a line where the radio heard no pause: " + cut.detail);
        }
        if (killed) {
            bench.BackToSnapshot();
        } else {
            if (cutCame)
                v.interruptedExit = ExitStatus(cut.outcome);
            CheckExit(cut, bench, expected, fail);
        }
        // The radio is switched on again; the technician's next move.
        Result next = NextMove(run, killed, cut, bench, original, fail);
        // A radio whose channel data look lost is refused (exit 2) with the
        // backups it may need.
        if (next.outcome == UpdateOutcome::ChannelDataLost) {
            // A refusal must name a backup that holds the radio's channel data.
            const auto same = std::find_if(next.offered.begin(), next.offered.end(), [&](const std::string& b) {
                return SameChannelData(ReadFile(b), original);
            });
            if (same == next.offered.end()) {
                fail("the second WRITE refused without naming a backup of the radio's channel data: " + next.detail);
                return v;
            }
            next = Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, *same, nullptr,
                                       {false, "", false, run.move == Move::StationReplug}),
                           fail);
        }
        if (next.outcome != UpdateOutcome::Done)
            fail(std::string(MoveName(run.move)) + " did not end \"Done.\" (exit " +
                 std::to_string(ExitStatus(next.outcome)) + "): " + next.detail);
        else if (bench.flash != expected)
            fail(std::string(MoveName(run.move)) + " ended \"Done.\" but the radio's flash is not the firmware with "
                                                   "its own channel data");
        if (!SameChannelData(ChannelArea(bench.other), ChannelArea(Workbench::AnotherRadiosFlash())))
            fail("the other radio ended with channel data other than its own");
        return v;
    }

private:
    template <typename Fail>
    static Result Checked(Result r, Fail fail)
    {
        if (r.replacedWithoutCopy)
            fail("a radio's channel data were replaced and no backup holds them");
        return r;
    }

    // The technician's next move, taken literally; a WRITE whose radio's
    // channel data look lost comes back refused, for the caller to follow.
    template <typename Fail>
    Result NextMove(const Run& run, bool killed, const Result& cut, Workbench& bench,
                    const std::vector<std::uint8_t>& original, Fail fail)
    {
        const std::string printed = killed ? "" : cut.backup;  // the restore command's backup
        if (!printed.empty() && !SameChannelData(ReadFile(printed), original))
            fail("the printed restore command names " + printed + ", which is not the radio's channel data");
        const std::vector<std::uint8_t> before = bench.flash;
        const std::vector<std::uint8_t> otherBefore = bench.other;
        Result next;
        switch (run.move) {
        case Move::AnotherRadio:
            // The other radio on this radio's port, the window's questions
            // answered truthfully; then this one on the other's port.
            Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Ask, "", nullptr, {true, "", true}), fail);
            return Checked(bench.Write("/dev/ttyUSB1", ErasedChannelArea::Refuse, ""), fail);
        case Move::RestoreIntoAnotherRadio:
            if (!printed.empty()) {
                Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, printed, nullptr, {true, "", false}), fail);
                if (bench.other != otherBefore)
                    fail("the restore command, pasted with another radio on the port, changed that radio");
            }
            next = Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, printed), fail);
            break;
        case Move::OtherDataFolder:
            next = Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, "", nullptr,
                                       {false, bench.dir.File("other/vokt.tmp"), false}),
                           fail);
            break;
        case Move::BackupAltered:
            if (!printed.empty()) {
                std::vector<std::uint8_t> altered = ReadFile(printed);
                altered[100] ^= 0xFF;
                Overwrite(printed, altered);
                const Result r = Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, printed), fail);
                if (r.outcome == UpdateOutcome::Done || bench.flash != before)
                    fail("a backup altered after it was saved went into the radio");
                altered[100] ^= 0xFF;
                Overwrite(printed, altered);
            }
            next = Checked(bench.Write("/dev/ttyUSB0", ErasedChannelArea::Refuse, printed), fail);
            break;
        case Move::StationReplug:
            // The station's next key on that position: the same adapter
            // under a new port name, nothing answered for the radio.
            next = Checked(bench.Write("/dev/ttyUSB7", ErasedChannelArea::Refuse, "", nullptr, {false, "", false, true}),
                           fail);
            break;
        case Move::RestoreCommand:
        case Move::SecondWrite:
        case Move::OtherPortName:
        case Move::WindowOk: {
            const std::string restore = run.move == Move::RestoreCommand ? printed : "";
            next = Checked(bench.Write(run.move == Move::OtherPortName ? "/dev/serial/by-id/usb-radio-if00-port0"
                                                                         : "/dev/ttyUSB0",
                                       run.move == Move::WindowOk ? ErasedChannelArea::Ask : ErasedChannelArea::Refuse,
                                       restore),
                           fail);
            break;
        }
        }
        if (next.outcome == UpdateOutcome::ChannelDataLost && bench.flash != before)
            fail("a refused WRITE changed the radio");
        return next;
    }

    static void Overwrite(const std::string& path, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

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
    auto move = [](std::size_t i) { return static_cast<Move>(i % kMoves); };
    // A station's adapter pulled out hangs the line up, whatever the kind.
    const auto add = [&runs](Kind kind, int at, Move m) {
        runs.push_back({m == Move::StationReplug ? Kind::HangUp : kind, at, m});
    };
    if (sample <= 0) {
        for (int k = 0; k < e; ++k) {
            for (std::size_t kind = 0; kind < 4; ++kind)
                add(kKinds[kind], k, move(static_cast<std::size_t>(k) + kind));
        }
        return runs;
    }
    const int firstClear = static_cast<int>(std::find(steps.begin(), steps.end(), Step::Clear1) - steps.begin());
    const int firstWrite = static_cast<int>(std::find(steps.begin(), steps.end(), Step::WriteCommand) - steps.begin());
    const int channelWrite = std::min(e - 1, firstWrite + 2 * 192 + 1);  // block 192's data stage
    // Where the radio's state changes, with every kind.
    for (int k : {firstClear - 1, firstClear, channelWrite, channelWrite + 21, e - 1}) {
        for (std::size_t kind = 0; kind < 4 && static_cast<int>(runs.size()) < sample; ++kind)
            add(kKinds[kind], k, move(static_cast<std::size_t>(k) + kind));
    }
    // Spread over the update, then a seeded few at random.
    const int left = sample - static_cast<int>(runs.size());
    const int spread = left - left / 4;
    for (int i = 0; i < spread; ++i)
        add(kKinds[i % 4], i * e / spread, move(static_cast<std::size_t>(i / 4 + i)));
    std::mt19937 random(seed);
    for (int i = static_cast<int>(runs.size()); i < sample; ++i)
        add(kKinds[random() % 4], static_cast<int>(random() % static_cast<unsigned>(e)), move(random()));
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
            if (!verdicts[i].ownEnd.empty())
                std::printf("NOTE: the update ended on its own before exchange %d, its cut (%s), %s\n", runs[i].at,
                            KindName(runs[i].kind), verdicts[i].ownEnd.c_str());
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
    int violations = 0, endedBeforeCut = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        endedBeforeCut += verdicts[i].ownEnd.empty() ? 0 : 1;
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
    // And by the technician's next move: every move has a row.
    std::map<std::string, std::pair<int, int>> moves;
    for (std::size_t m = 0; m < kMoves; ++m)
        moves[MoveName(static_cast<Move>(m))];
    for (std::size_t i = 0; i < runs.size(); ++i) {
        auto& [count, bad] = moves[MoveName(runs[i].move)];
        ++count;
        bad += verdicts[i].violations.empty() ? 0 : 1;
    }
    std::printf("%-56s %6s %10s\n", "NEXT MOVE", "RUNS", "VIOLATIONS");
    for (const auto& [name, c] : moves)
        std::printf("%-56s %6d %10d\n", name.c_str(), c.first, c.second);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f s\n", seconds);
    if (endedBeforeCut > 0)
        std::printf("%d updates ended on their own before their cut, checked as they ended\n", endedBeforeCut);
    std::printf("%zu runs, %d violations\n", runs.size(), violations);
    return violations == 0 ? 0 : 1;
}
