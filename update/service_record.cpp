// The service record: one JSON object per update, appended to
// vokta4-history.jsonl beside the data file, so that a shop can later tell
// which radio got which firmware, when, and how it ended.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "dialog/updater_dialog.h"
#include "update/iso_time.h"
#include "platform/paths.h"
#include "res/resource.h"
#include "update/sha256.h"

namespace {

nlohmann::json Counts(const std::vector<std::pair<std::string, int>>& counts)
{
    nlohmann::json o = nlohmann::json::object();
    for (const auto& [step, n] : counts)
        o[step] = o.value(step, 0) + n;
    return o;
}

}  // namespace

std::string UpdaterDialog::ServiceRecordPath() const
{
    return DirectoryOf(m_strDataFilePath) + "vokta4-history.jsonl";
}

void UpdaterDialog::AppendServiceRecord()
{
    const PortDetails adapter = m_strPort.empty() ? PortDetails() : m_host.DescribePort(m_strPort);
    // The bytes converted and written; a file never read by this update
    // (it failed before) is described as it is now.
    std::uint64_t size = m_firmwareSize;
    std::string sha256 = m_firmwareSha256;
    if (sha256.empty()) {
        std::error_code ec;
        const auto now = std::filesystem::file_size(std::filesystem::u8path(m_strFirmwarePath), ec);
        size = ec ? 0 : static_cast<std::uint64_t>(now);
        sha256 = Sha256OfFile(m_strFirmwarePath);
    }
    const char* state = m_outcome == UpdateOutcome::Done               ? "updated"
                        : m_outcome == UpdateOutcome::FailedAfterErase ? "needs another update"
                                                                       : "unchanged";
    nlohmann::json r;
    r["start"] = IsoUtc(m_startedUtc);
    r["end"] = IsoUtc(static_cast<std::int64_t>(std::time(nullptr)));
    r["port"] = m_strPort;
    r["adapter"] = {{"description", adapter.description}, {"vid_pid", adapter.vidPid}, {"serial", adapter.serial}};
    r["firmware"] = {{"file", m_strFirmwarePath},
                     {"size", size},
                     {"sha256", sha256}};
    r["mode"] = m_strMode;
    // A stop is the technician's, not the step's failure: the step's message
    // ("Firm write error.") would send a shop looking for a fault.
    const bool stopped = m_stoppedByTechnician && m_outcome != UpdateOutcome::Done;
    std::string reason = m_outcome == UpdateOutcome::Done ? std::string() : m_strDetail;
    if (stopped)
        reason = "stopped by the technician during the " + m_strStep + " step" +
                 (m_strDetail.empty() ? std::string() : " (last note: " + m_strDetail + ")");
    // Left unchanged without a message box: the technician's Cancel, or a
    // channel-data backup that needs the technician's word first.
    const bool refused = m_outcome == UpdateOutcome::FailedIntact && !m_offeredBackups.empty();
    r["result"] = stopped                   ? std::string("stopped by the technician")
                  : !m_strLastMessage.empty() ? m_strLastMessage
                  : refused                  ? std::string("refused (see reason)")
                                             : std::string("cancelled");
    if (!m_offeredBackups.empty())
        r["offered_backup"] = m_strOfferedBackup;
    r["reason"] = reason;
    r["state"] = state;
    r["backup"] = m_strBackupPath;
    // The channel data written with the firmware: the radio's own, or a
    // backup's written back (null: the update ended before they were read).
    if (!m_strWrittenBackFrom.empty())
        r["channel_data"] = {{"source", "backup"}, {"file", m_strWrittenBackFrom}};
    else
        r["channel_data"] = m_channelDataRead ? nlohmann::json{{"source", "radio"}} : nlohmann::json();
    r["attempts"] = Counts(m_stepAttempts);
    r["retries"] = Counts(m_stepRetries);
    r["verified"] = m_strVerified.empty() ? nlohmann::json() : nlohmann::json(m_strVerified);
    r["duration_s"] = static_cast<double>(SteadyNanos() - m_startedNanos) / 1e9;
    r["version"] = STR_VERSION;
    // UTF-8 as it is, so that paths stay readable; bytes that are not UTF-8
    // (a path on Linux may hold any) are replaced, never thrown at.
    m_strRecord = r.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string error;
    if (!AppendLineLocked(ServiceRecordPath(), m_strRecord, error))
        Note("cannot add to the service record: " + error);
}
