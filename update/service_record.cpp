// The service record: one JSON object per update, appended to
// vokta4-history.jsonl beside the data file, so that a shop can later tell
// which radio got which firmware, when, and how it ended.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "update/adapter_json.h"
#include "update/update_steps.h"
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

std::string ServiceRecordPath(const std::string& dataFilePath)
{
    return DirectoryOf(dataFilePath) + "vokta4-history.jsonl";
}

void AppendServiceRecord(UpdateContext& u)
{
    // The adapter as it was asked during the update: an adapter pulled out
    // since tells nothing now.
    const PortDetails adapter = !u.m_adapter.description.empty() || !u.m_adapter.serial.empty() ? u.m_adapter
                                : u.m_request.port.empty() ? PortDetails()
                                                      : u.m_host.DescribePort(u.m_request.port);
    // The bytes converted and written; a file never read by this update
    // (it failed before) is described as it is now.
    std::uint64_t size = u.m_firmwareSize;
    std::string sha256 = u.m_firmwareSha256;
    if (sha256.empty()) {
        std::error_code ec;
        const auto now = std::filesystem::file_size(std::filesystem::u8path(u.m_request.firmwarePath), ec);
        size = ec ? 0 : static_cast<std::uint64_t>(now);
        sha256 = Sha256OfFile(u.m_request.firmwarePath);
    }
    const char* state = u.m_result.outcome == UpdateOutcome::Done               ? "updated"
                        : u.m_result.outcome == UpdateOutcome::FailedAfterErase ||
                                  u.m_result.outcome == UpdateOutcome::ChannelDataLost
                            ? "needs another update"
                                                                       : "unchanged";
    nlohmann::json r;
    r["start"] = IsoUtc(u.m_startedUtc);
    u.MarkEnded();
    r["end"] = IsoUtc(u.m_endedUtc);
    r["port"] = u.m_request.port;
    r["adapter"] = AdapterJson(adapter);
    if (!u.m_request.adapterIdentity.empty())
        r["adapter"]["identity"] = u.m_request.adapterIdentity;
    if (!u.m_request.position.empty())
        r["position"] = u.m_request.position;
    r["firmware"] = {{"file", u.m_request.firmwarePath},
                     {"size", size},
                     {"sha256", sha256}};
    r["mode"] = u.m_request.mode;
    // A stop is the technician's, not the step's failure: the step's message
    // ("Firm write error.") would send a shop looking for a fault.
    const bool stopped = u.m_result.stoppedByTechnician && u.m_result.outcome != UpdateOutcome::Done;
    std::string reason = u.m_result.outcome == UpdateOutcome::Done ? std::string() : u.m_result.detail;
    if (stopped)
        reason = "stopped by the technician during the " + std::string(StepName(u.m_step)) + " step" +
                 (u.m_result.detail.empty() ? std::string() : " (last note: " + u.m_result.detail + ")");
    // Left unchanged without a message box: the technician's Cancel, or a
    // channel-data backup that needs the technician's word first.
    const bool refused = u.m_result.outcome != UpdateOutcome::Done && !u.m_result.detail.empty() && !u.EraseStarted() &&
                         u.m_result.lastMessage.empty();
    r["result"] = stopped                   ? std::string("stopped by the technician")
                  : !u.m_result.lastMessage.empty() ? u.m_result.lastMessage
                  : refused                  ? std::string("refused (see reason)")
                                             : std::string("cancelled");
    if (!u.m_result.offeredBackups.empty())
        r["offered_backup"] = u.m_result.offeredBackup;
    r["reason"] = reason;
    if (!u.m_approved.empty())
        r["approved"] = u.m_approved;
    if (!u.m_request.unapprovedReason.empty() && u.m_approved.empty())
        r["unapproved"] = u.m_request.unapprovedReason;
    r["state"] = state;
    r["backup"] = u.m_result.backupPath;
    // The channel data written with the firmware: the radio's own, or a
    // backup's written back (null: the update ended before they were read).
    if (!u.m_writtenBackFrom.empty())
        r["channel_data"] = {{"source", "backup"}, {"file", u.m_writtenBackFrom}};
    else
        r["channel_data"] = u.m_channelDataRead ? nlohmann::json{{"source", "radio"}} : nlohmann::json();
    r["attempts"] = Counts(u.m_stepAttempts);
    r["retries"] = Counts(u.m_stepRetries);
    r["verified"] = u.m_verified.empty() ? nlohmann::json() : nlohmann::json(u.m_verified);
    r["duration_s"] = static_cast<double>(u.m_endedNanos - u.m_startedNanos) / 1e9;
    r["version"] = STR_VERSION;
    // UTF-8 as it is, so that paths stay readable; bytes that are not UTF-8
    // (a path on Linux may hold any) are replaced, never thrown at.
    u.m_result.record = r.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string error;
    if (!AppendLineLocked(ServiceRecordPath(u.m_dataFilePath), u.m_result.record, error))
        u.Note("cannot add to the service record: " + error);
}
