#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "update/message_queue.h"
#include "platform/native_host.h"
#include "platform/paths.h"
#include "update/timing.h"
#include "dialog/updater_dialog.h"
#include "update/update_steps.h"
#include "sim_boot.h"
#include "serial/port_backend.h"

// Periods short enough for tests; the rules are the same at every scale.
Timing FastTiming();

// A temporary folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

std::vector<std::uint8_t> ReadBinary(const std::string& path);

// A view that records what the dialog shows and answers from a script.
class ScriptedView : public DialogWindow {
public:
    ScriptedView();

    UpdaterDialog* dialog = nullptr;
    std::string title;
    std::vector<std::string> ports;
    int selected = -1;
    std::string firmware;
    std::string log, transient;
    std::vector<std::string> transients;  // every non-empty transient, in order
    std::vector<std::string> messages;
    std::vector<bool> okCancelAnswers;  // answers to OK/Cancel prompts, in order (default OK)
    std::vector<bool> cancelByDefault;  // for each OK/Cancel prompt: Cancel was its default
    bool cancelChannelQuestions = false;  // Cancel to every question with Cancel as its default
    std::string reasonAnswer;             // typed at a question that needs a reason (empty: Cancel)
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    std::vector<bool> locks;
    int timerArms = 0;
    // A window timer that fires early: each arming lasts this share of its period.
    double timerShare = 1.0;
    bool ended = false;
    // Called on the UI thread at each message box / progress position.
    std::function<void(const std::string&)> onMessage;
    std::function<void(int)> onProgress;

    void PostClose();
    int CountMessages(const std::string& text) const;

    void SetTitle(const std::string& text) override { title = text; }
    void SetIcon() override {}
    void SetPortList(const std::vector<std::string>& list, int sel) override
    {
        ports = list;
        selected = sel;
    }
    std::string SelectedPort() const override;
    void SelectPort(const std::string& name) override;
    void SetFirmwarePath(const std::string& path) override { firmware = path; }
    std::string FirmwarePath() const override { return firmware; }
    void SetLogText(const std::string& l, const std::string& t) override;
    void SetProgressRange(int low, int high) override { ranges.emplace_back(low, high); }
    void SetProgressPos(int pos) override;
    void LockControls(bool lock) override { locks.push_back(lock); }
    bool ShowMessage(const std::string& text, MessageButtons buttons) override;
    bool AskReason(const std::string& prompt, std::string& reason) override
    {
        messages.push_back(prompt);
        reason = reasonAnswer;
        return !reason.empty();
    }
    void SetTimer1(unsigned ms) override;
    void KillTimer1() override { m_queue.KillTimer1(); }
    bool DispatchNextMessage() override { return m_queue.DispatchNext(); }
    bool DispatchPendingMessage() override { return m_queue.DispatchPending(); }
    void Wake() override { m_queue.Wake(); }
    void EndDialog() override { ended = true; }

    bool Timer1Armed() const { return m_queue.Timer1Armed(); }

private:
    MessageQueue m_queue;
    std::size_t m_answer = 0;
};

// A host with the ports, profile and folder a test gives it.
class TestHost : public NativeHost {
public:
    std::vector<std::string> portNames;
    bool enumerateOk = true;
    std::function<std::unique_ptr<PortBackend>()> backends;
    std::string moduleFile;
    std::map<std::string, std::string> profile;
    std::string stateFolder;  // the per-user state folder; empty: the program's own folder

    bool EnumeratePorts(std::vector<std::string>& names) override
    {
        names = portNames;
        return enumerateOk;
    }
    std::unique_ptr<PortBackend> MakePortBackend() override { return backends(); }
    std::string ModuleFileName() override { return moduleFile; }
    std::string UserStateFolder() override { return stateFolder.empty() ? DirectoryOf(moduleFile) : stateFolder; }
    std::string ReadProfileValue(const std::string& s, const std::string& k, const std::string& d) override
    {
        auto it = profile.find(s + "/" + k);
        return it == profile.end() ? d : it->second;
    }
    bool WriteProfileValue(const std::string& s, const std::string& k, const std::string& v) override
    {
        profile[s + "/" + k] = v;
        return true;
    }
};

// A backend whose incoming bytes the test scripts. Records what is written.
class FakeBackend : public PortBackend {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<std::vector<std::uint8_t>> written;
        std::vector<std::uint8_t> pending;  // bytes "waiting" in the driver
        std::atomic<std::size_t> unsent{0};  // bytes "still to send"
        std::vector<std::size_t> readSizes;
        int opens = 0, closes = 0;
        bool failOpen = false;
        std::atomic<bool> readerStuck{false};  // WaitReadable ignores everything
        std::atomic<bool> readerInside{false};
        bool closedWhileReaderInside = false;
        // Run once on the reader thread when it asks how much is waiting,
        // between its wait and its read: the place of a race with a purge.
        std::function<void()> onBytesWaiting;
    };
    explicit FakeBackend(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    bool Open(const std::string&, std::string& error) override;
    void Close() override;
    long Write(const std::uint8_t* data, std::size_t length) override;
    std::size_t BytesWaiting() override;
    long Read(std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void CancelWait() override {}
    std::size_t PurgeInput() override;
    std::size_t BytesUnsent() override { return m_shared->unsent; }

private:
    std::shared_ptr<Shared> m_shared;
};

// White-box access to the receive side of a dialog's link, and its steps'
// context for running one step on its own.
struct RadioLinkTestAccess {
    static void Prepare(RadioLink& l, RadioLink::ReceiveMode mode, std::int32_t expected = 0)
    {
        l.PrepareExchange(mode, expected);
    }
    static bool ReplyDone(RadioLink& l) { return l.m_bReplyDone.load() != 0; }
    static bool ReplyError(RadioLink& l) { return l.m_bReplyError.load() != 0; }
    static std::int32_t Mode(RadioLink& l) { return l.m_nMode.load(); }
    static void Dispatch(RadioLink& l, const std::uint8_t* data, unsigned n) { l.Dispatch(data, n); }
    // Waits for the prepared exchange's reply: true when the reply ends the wait.
    static bool WaitEndsInReply(RadioLink& l) { return l.WaitReply() == RadioLink::WaitResult::Reply; }
};

struct UpdaterDialogTestAccess {
    static RadioLink& Link(UpdaterDialog& d) { return d.Job().Link(); }
    static UpdateContext& Context(UpdaterDialog& d) { return d.Job().Context(); }
    static void Prepare(UpdaterDialog& d, RadioLink::ReceiveMode mode, std::int32_t expected = 0)
    {
        RadioLinkTestAccess::Prepare(Link(d), mode, expected);
    }
    static bool ReplyDone(UpdaterDialog& d) { return RadioLinkTestAccess::ReplyDone(Link(d)); }
    static bool ReplyError(UpdaterDialog& d) { return RadioLinkTestAccess::ReplyError(Link(d)); }
    static std::int32_t RxCount(UpdaterDialog& d) { return Link(d).RxCount(); }
    static const std::uint8_t* RxBuf(UpdaterDialog& d) { return Link(d).RxBuf(); }
    static std::int32_t Mode(UpdaterDialog& d) { return RadioLinkTestAccess::Mode(Link(d)); }
    static void Dispatch(UpdaterDialog& d, const std::uint8_t* data, unsigned n)
    {
        RadioLinkTestAccess::Dispatch(Link(d), data, n);
    }
    static bool WaitEndsInReply(UpdaterDialog& d) { return RadioLinkTestAccess::WaitEndsInReply(Link(d)); }
    static void SetRun(UpdaterDialog& d, bool run) { run ? Link(d).Start() : Link(d).Stop(); }
    static void SetUpdating(UpdaterDialog& d, bool on) { Context(d).m_bUpdating = on ? 1 : 0; }
    static bool CreateDataFile(UpdaterDialog& d) { return ::CreateDataFile(Context(d)); }
    static DataFile& Data(UpdaterDialog& d) { return Context(d).m_hDataFile; }
    // Reads the boot program (boot.s19 beside the program) as WRITE does first.
    static bool CheckBootProgram(UpdaterDialog& d) { return ::CheckBootProgram(Context(d)); }
};

// S-record text for tests.
std::string SRecordLine(int type, std::uint32_t address, const std::vector<std::uint8_t>& data);
// The byte a test firmware with `seed` holds at image offset `offset`.
std::uint8_t FirmwareByte(int seed, std::uint32_t offset);
// What a radio with the factory flash holds after an update with
// FirmwareText(seed): the firmware, its own channel data, the marker.
std::vector<std::uint8_t> ExpectedFlash(int seed, std::uint8_t marker);
// S2 (or S3) records covering the whole image with FirmwareByte(seed, ...).
std::string FirmwareText(int seed, int type = 2, int perRecord = 32);
