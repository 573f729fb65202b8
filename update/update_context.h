#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/boot_loader_image.h"
#include "platform/data_file.h"
#include "platform/host.h"
#include "update/radio_link.h"
#include "update/update_events.h"
#include "update/update_request.h"

enum class ExchangeResult;

// The state of one update as its steps see it: the request, the radio's
// link, where to report, and what the update has learnt so far. The steps
// are functions over this context (update/update_steps.h); the job that
// runs them owns it.
class UpdateContext {
public:
    UpdateContext(RadioLink& link, UpdateEvents& events, Host& host) : m_link(link), m_events(events), m_host(host)
    {
    }

    // Clears what an earlier update left and takes the request.
    void Begin(const UpdateRequest& request);

    // ---- reporting ----
    // The reason behind the failure in progress (also reported as a note).
    void SetDetail(std::string text);
    // Something a technician should know that is not a failure.
    void Note(const std::string& text);
    // A message box with OK only; the last one is the update's result.
    void Message(const std::string& text);
    // A message box that ends the update: the reason before it.
    void FailureMessage(const std::string& text);
    // Explains the failure once per update: its reason and, after the
    // erase, what to do next.
    void ReportFailure();
    bool Ask(const std::string& prompt) { return m_events.Ask(prompt, false); }
    // A question that chooses channel data: Cancel, which changes nothing,
    // is its default.
    bool AskCancelByDefault(const std::string& prompt) { return m_events.Ask(prompt, true); }
    void Transient(const std::string& text) { m_events.Transient(text); }
    // The typed events of the step in progress.
    void StepStarted(const std::string& text);
    void StepDone(StepEnd end = StepEnd::Done);
    void Progress(std::uint64_t done, std::uint64_t total, const char* unit);

    // ---- exchanges ----
    // One exchange on the link, counted for the step in progress; a failure
    // becomes the detail, and a time-out its message box where it has one.
    ExchangeResult Exchange(const ::Exchange& exchange);
    // Runs one block's attempt until it succeeds, at most kBlockAttempts
    // times in a row, draining the line before each retry.
    bool WithRetries(bool (*attempt)(UpdateContext&, std::uint32_t), std::uint32_t address);
    // "block 0xFF8600, attempt 2 of 5: ", for the notes of block exchanges.
    std::string BlockContext(std::uint32_t address) const;

    // ---- the one stop state ----
    // True from the moment the first clear command goes out (any thread).
    bool EraseStarted() const { return m_stopState.load() == StopState::Erasing; }
    // Any thread: true when a stop is accepted before the erase (the first
    // clear command will then never go out), false once the erase began.
    bool AcceptStopBeforeErase();
    // Just before the first clear command: false when a stop came first.
    bool BeginErase();

    RadioLink& m_link;
    UpdateEvents& m_events;
    Host& m_host;
    UpdateRequest m_request;  // as the front end gave it

    // ---- what the update learns and holds ----
    std::uint8_t m_bUpdating = 0;
    DataFile m_hDataFile;

    std::string m_dataFilePath;
    BootLoaderImage m_bootImage;
    int m_attempt = 1;  // attempt number of the block exchange in progress
    std::atomic<int> m_retries{0};
    std::vector<std::uint8_t> m_channelData;  // the 16 KiB as stored in the image
    bool m_channelDataRead = false;           // they are in the image
    bool m_repliesInDoubt = false;            // a read attempt of this block held bytes not its own
    bool m_incompleteAccepted = false;        // a cut-short firmware may be written in this update
    // The channel area as the radio held it when it was read (the mode
    // marker set as stored).
    std::vector<std::uint8_t> m_radioChannelData;
    // The backup whose channel data this update writes instead of the
    // radio's (empty: the radio's own), and whether the radio's area proved
    // to be that backup's radio (erased, or cut short from it).
    std::string m_writtenBackFrom;
    bool m_writtenBackProven = false;
    // Open entries whose backup the radio holds unchanged and whose adapter
    // is this one: an update ending "Done." closes them too.
    std::vector<std::string> m_sameRadioEntries;
    std::vector<std::string> m_journalFolders;  // the journals this update keeps and consults
    PortDetails m_adapter;  // the port's adapter, asked once when the channel area is judged
    std::string m_journalEntry;  // the backup path of this update's journal entry
    FileHold m_backupHold;       // held while the update runs: its entry is running
    bool m_radioBusy = false;    // RadioBusy(true) was reported
    bool m_failureReported = false;
    StepId m_step = StepId::Prepare;  // the step in progress
    std::string m_stepText;        // its log line
    std::vector<std::pair<std::string, int>> m_stepAttempts;  // exchanges per step, in order
    std::vector<std::pair<std::string, int>> m_stepRetries;   // retries per step
    // SHA-256 and size of the firmware file's bytes as last read (empty: not read).
    std::string m_firmwareSha256;
    std::uint64_t m_firmwareSize = 0;
    std::string m_approved;        // "VR-3900 R01.00" when the catalogue lists the firmware
    std::string m_approvedSha256;  // the SHA-256 it was listed under
    std::string m_verified;  // "yes", "differs", "not possible", or empty (not asked)
    std::vector<std::uint32_t> m_blocksInDoubt;  // written blocks whose acknowledgement may be another's
    std::int64_t m_startedUtc = 0;  // seconds since the epoch
    std::int64_t m_startedNanos = 0;
    // When the outcome was known: before its message box, which the
    // technician may leave standing (0 until then).
    std::int64_t m_endedUtc = 0;
    std::int64_t m_endedNanos = 0;
    void MarkEnded();
    UpdateResult m_result;

private:
    // One state for the erase and the stop requests of every thread: a stop
    // accepted before the erase and the first clear command exclude each
    // other.
    enum class StopState { Running, StopAccepted, Erasing };
    std::atomic<StopState> m_stopState{StopState::Running};
};
