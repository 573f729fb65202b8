#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "dialog/timing.h"
#include "dialog/update_events.h"
#include "image/boot_loader_image.h"
#include "platform/data_file.h"
#include "platform/host.h"
#include "serial/receive_sink.h"
#include "serial/serial_channel.h"

class PeriodicTimer;
struct ConversionCallbacks;
struct JournalEntry;
struct Exchange;
struct FirmwareImage;
struct GuardedFile;
enum class ExchangeResult;

// How the last update ended, for front ends that report it (exit codes).
enum class UpdateOutcome {
    None,             // no update has run
    Done,             // "Done."
    FailedIntact,     // failed or cancelled before the ROM clear began
    FailedAfterErase  // failed or aborted once the ROM clear had begun
};

// What to do when the radio's channel area reads as erased while a backup
// of this port's channel data exists (an earlier update failed after the
// ROM clear).
enum class ErasedChannelArea {
    Ask,         // ask whether to write the backup back (the windows, a prompt)
    Refuse,      // stop with the radio unchanged (unattended runs)
    WriteBlank   // write the erased area as it is
};

// What to do with a firmware file that looks cut short: no termination
// record, and its data stop before the end of the firmware area.
enum class IncompleteFirmware {
    Ask,     // ask whether to write it anyway (the windows)
    Refuse,  // refuse it (the command line, unless told otherwise)
    Write    // write it, with a warning
};

// Options a front end may set before WRITE; the dialog itself uses defaults.
struct UpdateOptions {
    std::string dataFilePath;   // empty: vokt.tmp beside the executable
    std::string bootImageFile;  // the boot program to upload; empty: boot.s19 beside the executable
    // 16 KiB of channel data (a backup) to write instead of reading the radio's,
    // and the file they came from.
    std::vector<std::uint8_t> channelData;
    std::string channelDataFile;
    ErasedChannelArea erasedChannelArea = ErasedChannelArea::Ask;
    IncompleteFirmware incompleteFirmware = IncompleteFirmware::Ask;
    // Read the firmware area back after the write and compare it with the
    // image (the windows take it from the profile, VERIFY=1).
    bool verify = false;
    // The reason behind a failure becomes a log line before the message, and
    // channel data written back from a backup get a line of their own (the
    // windows); the console prints reasons on stderr instead.
    bool reasonsInLog = true;
    // Receives, as they happen, the reasons behind failures and warnings (for a technician).
    std::function<void(const std::string&)> onNote;
    // Receives the steps and their progress as typed events (may be null).
    UpdateEvents* events = nullptr;
};

// The main dialog: owns every piece of state of the update and runs the
// procedure on the UI thread. Talks to the window only through DialogView
// (what the user sees) and MessagePump (how it waits).
class UpdaterDialog : public ReceiveSink {
public:
    static constexpr std::size_t kTxBufSize = 128;
    static constexpr std::size_t kRxBufSize = 530;

    // Receive modes of the dispatch: which reply bytes complete the exchange
    // in progress. kModeIdle drops every byte; it holds between exchanges so
    // that a stray byte cannot complete the next one.
    enum ReceiveMode : std::int32_t {
        kModeIdle = 0,
        kModeContact = 1,     // the loader's contact answer
        kModeBootRecord = 2,  // a boot frame's accept or refuse byte
        kModeStatus = 3,      // "1" or "2" from the boot program
        kModeBlockRead = 4    // a read reply, complete at the expected count
    };

    UpdaterDialog(DialogView& view, MessagePump& pump, Host& host, Timing timing = Timing());
    UpdaterDialog(DialogWindow& window, Host& host, Timing timing = Timing())
        : UpdaterDialog(window, window, host, timing)
    {
    }
    ~UpdaterDialog() override;

    // ---- events forwarded by the front end (UI thread) ----
    bool OnInitDialog(const std::string& commandLine);
    void OnWrite();
    void OnCloseButton();
    void OnTimer(unsigned id);
    void OnDestroy();
    void OnReceive(unsigned count) override;  // reader thread

    // ---- log pane ----
    void ClearLog();
    void AppendLog(const std::string& text, bool newLineFirst);
    void ShowTransient(const std::string& text);
    void LockControls(bool lock);

    std::string GetModuleDirectory();
    std::string FindFirmwareFile();

    // ---- update procedure and its steps, in their order ----
    bool CreateDataFile();
    // The tear-down of every way out of OnWrite; `done` after a success.
    void EndUpdate(bool done = false);
    bool ConnectRadio();
    bool UploadBootProgram();
    bool StartBootProgram();
    bool QueryDataProtect();
    bool ConvertFirmware();
    bool ReadChannelData();
    bool ReadBlock(std::uint32_t address);
    bool SaveChannelBackup();
    bool ClearRom();
    bool WriteFirmware();
    bool WriteBlock(std::uint32_t address);
    // The image's block at `address` from the data file; the reason on failure.
    bool ReadImageBlock(std::uint32_t address, std::uint8_t* block);
    bool VerifyFirmware();

    // ---- resend timer ----
    bool StartResendTimer(std::chrono::milliseconds period);
    void StopResendTimer();
    void OnResendTick();

    // ---- for front ends ----
    const std::string& Title() const { return m_strTitle; }
    const std::string& Mode() const { return m_strMode; }
    const std::string& Port() const { return m_strPort; }
    const std::string& Log() const { return m_strLog; }
    UpdateOutcome LastOutcome() const { return m_outcome; }
    const std::string& ChannelBackupPath() const { return m_strBackupPath; }
    // The backup offered for a radio whose channel area read as erased, or
    // whose update did not finish (the first of those offered).
    const std::string& OfferedBackupPath() const { return m_strOfferedBackup; }
    const std::vector<std::string>& OfferedBackups() const { return m_offeredBackups; }
    // True from the moment the first clear command goes out (any thread).
    bool EraseStarted() const { return m_stopState.load() == StopState::Erasing; }
    // Any thread: a stop request before the erase. True when it is accepted:
    // the first clear command will then never go out. False once the erase
    // has begun, when stopping would leave the radio erased.
    bool AcceptStopBeforeErase();
    // The last message box of the update ("Done.", "Firm write error.", ...).
    const std::string& LastMessage() const { return m_strLastMessage; }
    // Block exchanges retried so far in this update (any thread).
    int RetriesSoFar() const { return m_nRetries.load(); }
    // The service record of the last update: one JSON object (empty before one).
    const std::string& ServiceRecord() const { return m_strRecord; }
    // Where the service records of this dialog's updates are appended.
    std::string ServiceRecordPath() const;
    const std::string& DataFilePath() const { return m_strDataFilePath; }
    // Why the last step failed, in words for a technician (empty if unknown).
    const std::string& FailureDetail() const { return m_strDetail; }
    UpdateOptions& Options() { return m_options; }
    // Why the update's inputs, or the files it keeps, forbid writing
    // `output` (`what` names it: "--trace FILE"); empty when nothing does.
    // For the outputs a front end writes beside the update.
    std::string OutputConflict(const std::string& what, const std::string& output);
    SerialChannel& Serial() { return *m_pSerial; }
    bool IsUpdating() const { return m_bUpdating != 0; }
    // True when the last update ended because the technician stopped it
    // (CLOSE or a stop request while it ran), not by a failure of its own.
    bool StoppedByTechnician() const { return m_stoppedByTechnician; }

private:
    friend struct UpdaterDialogTestAccess;  // white-box tests of the dispatch
    enum class WaitResult { Reply, Aborted, TimedOut };
    struct ProcedureStep;

    void UpdateData(bool saveAndValidate);

    // ---- the procedure (update/update_procedure.cpp) ----
    void BeginUpdate();
    // Every step from the port's opening to the firmware write; false at the
    // first that fails, with its message shown.
    bool RunProcedure();
    bool OpenPortAndAskForPower();
    void ReportFailureInLog();
    // A failure's message box, after the reason in the log.
    void FailureMessage(const std::string& text);
    bool ReportWrittenBackChannelData();
    void Guarded(const std::function<void()>& work);
    bool RunStep(const ProcedureStep& step);
    bool Fail(unsigned messageId);
    // The typed events of the step in progress.
    void StepStarted(const std::string& text);
    void StepDone();
    void Progress(std::uint64_t done, std::uint64_t total, const char* unit);
    bool ConnectAndStartBootProgram();
    bool PauseAndConvertFirmware();

    // ---- inputs checked before the radio is touched (update/input_check.cpp) ----
    std::string BootProgramPath();
    bool CheckBootProgram();
    bool CheckFirmwareFile();
    bool CheckOutputs();
    // Reads and judges the firmware file; false (with the reason) when the
    // update must refuse it. Only with `mayAsk` is the technician asked
    // about a file that looks cut short.
    bool ReadFirmwareFile(FirmwareImage& image, const ConversionCallbacks& callbacks, bool mayAsk);
    bool AcceptCutShortFirmware(const std::string& reason, bool mayAsk);
    // The data file this update uses: the option's, else vokt.tmp in the data folder.
    std::string ChosenDataFilePath();
    // The inputs and kept files that an output beside `dataFile` must spare.
    std::vector<GuardedFile> GuardedInputs(const std::string& dataFile);

    // ---- channel data (update/channel_read.cpp, update/channel_backup.cpp) ----
    // Stores one block of channel data in the image, with the mode marker.
    bool StoreChannelBlock(std::uint32_t address, std::uint8_t* block);
    // Puts a backup's 16 KiB into the image in place of the radio's own.
    bool WriteBackBackup(std::vector<std::uint8_t>& data, const std::string& path);
    // A channel area that reads as erased while a backup for this port
    // exists: asks, refuses or goes on, as the options say.
    bool ResolveErasedChannelArea();

    // ---- the journal of unfinished updates (update/unfinished_updates.cpp) ----
    std::string JournalFolder() const;
    // Before the first clear command: this update's entry, on the disk.
    bool RecordUnfinishedUpdate();
    // Open entries of earlier updates: goes on only with the technician's
    // word (named channel data, an accepted backup) or when the radio still
    // holds an entry's channel data; else asks or refuses.
    bool ResolveUnfinishedUpdates();
    bool OfferUnfinishedBackups(const std::vector<JournalEntry>& candidates);
    bool RefuseForUnfinishedUpdates(const std::vector<JournalEntry>& candidates);
    bool DiscardForAnotherRadio(const std::vector<JournalEntry>& candidates);
    // The open entries of updates that have ended (not those still running).
    std::vector<JournalEntry> EndedUnfinishedUpdates() const;
    bool RadioHoldsBackupOf(const JournalEntry& entry) const;
    // At the end of an update: closes this update's entry when it is done or
    // never began the erase, and the entry whose backup it wrote back.
    void CloseJournalEntries(bool done);
    // On the UI thread, just before the first clear command: false when a
    // stop was accepted first.
    bool BeginErase();
    // After the last acknowledgement: the line must stay quiet, or an
    // exchange was lost.
    bool LineStaysQuiet();
    // Compares the radio's firmware area, read back, with the image; false
    // (with the first differing address) when they differ.
    bool CompareReadBack(std::uint32_t address, bool& answered);

    // ---- the service record (update/service_record.cpp) ----
    void AppendServiceRecord();
    // ---- receive side and the exchange (update/receive_dispatch.cpp, update/exchange.cpp) ----
    void Dispatch(const std::uint8_t* buf, unsigned count);
    void PrepareExchange(ReceiveMode mode, std::int32_t expected = 0);
    void EndExchange();
    // Pumps messages until the reply, an abort or a time-out. Leaves timer 1
    // stopped on abort; on time-out the timer handler has stopped it.
    WaitResult WaitReply();
    // Sends, waits and judges one exchange; on failure the detail says why.
    ExchangeResult RunExchange(const Exchange& exchange);
    // Runs one block's attempt until it succeeds, at most kBlockAttempts
    // times in a row, draining the line before each retry.
    bool WithRetries(bool (UpdaterDialog::*attempt)(std::uint32_t), std::uint32_t address);
    // Before a retry: waits (bounded) until the line has been quiet, so that
    // a late reply to the failed attempt cannot merge with the next one. It
    // waits in the message loop and ends early when the update is stopped.
    void DrainLine();
    void Pause();
    // Waits until `period` has passed since the radio's last answer: the
    // radio gets its pause, and the time spent since the answer counts.
    void PauseAfterReply(std::chrono::milliseconds period);
    // The reason behind the failure in progress (also passed to onNote).
    void SetDetail(std::string text);
    // Something a technician should know that is not a failure.
    void Note(const std::string& text);
    // A message box with OK only; the last one is the update's result.
    void Message(const std::string& text);
    // "block 0xFF8600, attempt 2 of 5: ", for the notes of block exchanges.
    std::string BlockContext(std::uint32_t address) const;
    // After a block read: listens through the pause for bytes beyond the
    // reply; true when none came.
    bool ReplyHadExactLength(std::uint32_t address);
    bool SendBootRecord(const std::string& record, int index);

    DialogView& m_view;
    MessagePump& m_pump;
    Host& m_host;
    const Timing m_timing;

    // The dialog's own fields: mode, flags, port and buffers.
    std::string m_strMode;
    std::uint8_t m_bUpdating = 0;
    std::uint8_t m_bRun = 0;
    std::unique_ptr<SerialChannel> m_pSerial;
    std::string m_strTitle;
    std::atomic<std::int32_t> m_nRxExpected{0};
    std::atomic<std::int32_t> m_nRxCount{0};
    std::array<std::uint8_t, kRxBufSize> m_rxBuf{};
    std::atomic<std::uint8_t> m_bReplyError{0};
    std::array<std::uint8_t, kTxBufSize> m_txBuf{};
    std::uint8_t m_bTimedOut = 0;
    std::atomic<std::uint8_t> m_bReplyDone{0};
    std::atomic<ReceiveMode> m_nMode{kModeIdle};
    DataFile m_hDataFile;
    std::string m_strLog;
    std::string m_strFirmwarePath;
    std::string m_strPort;
    int m_hIcon;

    // Preparing an exchange and dispatching a chunk exclude each other.
    std::mutex m_exchangeMutex;
    std::atomic<std::int64_t> m_lastRxNanos{0};  // steady clock of the latest chunk
    std::unique_ptr<PeriodicTimer> m_resendTimer;

    UpdateOptions m_options;
    UpdateOutcome m_outcome = UpdateOutcome::None;
    bool m_bLocked = false;  // LockControls(true) holds
    // One state for the erase and the stop requests of every thread: a stop
    // accepted before the erase and the first clear command exclude each
    // other.
    enum class StopState { Running, StopAccepted, Erasing };
    std::atomic<StopState> m_stopState{StopState::Running};
    bool m_stoppedByTechnician = false;  // CLOSE came while the update ran
    std::atomic<int> m_nStrayBytes{0};  // bytes received while no exchange awaited any
    std::atomic<int> m_nRetries{0};
    BootLoaderImage m_bootImage;
    int m_nAttempt = 1;  // attempt number of the block exchange in progress
    std::vector<std::uint8_t> m_channelData;  // the 16 KiB as stored in the image
    std::string m_strDataFilePath;
    bool m_incompleteAccepted = false;  // a cut-short firmware may be written in this update
    std::string m_strBackupPath;
    std::string m_strOfferedBackup;
    std::vector<std::string> m_offeredBackups;
    std::string m_journalEntry;   // the backup's name of this update's journal entry
    std::string m_strLastMessage;  // the last message box of the update in progress
    bool m_failureReported = false;  // the failure's lines are in the log
    // The backup whose channel data this update writes instead of the
    // radio's (empty: the radio's own).
    std::string m_strWrittenBackFrom;
    bool m_channelDataRead = false;  // the channel data are in the image
    std::string m_strStep = "prepare";  // the step in progress, for the attempt counts
    std::string m_stepText;             // its log line, for the typed events
    std::vector<std::pair<std::string, int>> m_stepAttempts;  // exchanges per step, in order
    std::vector<std::pair<std::string, int>> m_stepRetries;   // retries per step
    // SHA-256 and size of the firmware file's bytes as last read for this
    // update (empty: not read).
    std::string m_firmwareSha256;
    std::uint64_t m_firmwareSize = 0;
    std::string m_strVerified;  // "yes", "differs", "not possible", or empty (not asked)
    std::int64_t m_startedUtc = 0;  // seconds since the epoch
    std::int64_t m_startedNanos = 0;
    std::string m_strRecord;
    std::string m_strDetail;
};
