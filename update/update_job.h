#pragma once
#include <string>

#include "platform/host.h"
#include "update/message_pump.h"
#include "update/radio_link.h"
#include "update/timing.h"
#include "update/update_context.h"
#include "update/update_events.h"
#include "update/update_request.h"

// One update of one radio: takes a request, runs every step in order on
// the calling (UI) thread, reports through typed events, and returns the
// result. The port and the window are given back on every way out. Every
// front end runs its updates through one of these: the windows' dialog,
// the console, JSON Lines and each radio of several.
class UpdateJob {
public:
    UpdateJob(UpdateEvents& events, MessagePump& pump, Host& host, Timing timing = Timing());

    // The whole procedure and its tear-down.
    const UpdateResult& Run(const UpdateRequest& request);

    // UI thread: CLOSE while the update runs. Every wait ends, nothing more
    // goes to the radio, and the update ends as stopped by the technician.
    void Stop();
    // Any thread: a stop request before the erase. True when it is accepted:
    // the first clear command will then never go out. False once the erase
    // has begun, when stopping would leave the radio erased.
    bool AcceptStopBeforeErase() { return m_context.AcceptStopBeforeErase(); }
    // Any thread: what a stop request means for this update. Before the
    // erase it is accepted, and the radio stays as it was. Once the erase
    // has begun only a technician who insists stops it, leaving the radio
    // erased; otherwise the update goes on (false).
    bool AcceptStop(bool insist) { return AcceptStopBeforeErase() || insist; }
    // True from the moment the first clear command goes out (any thread).
    bool EraseStarted() const { return m_context.EraseStarted(); }
    // Timer 1 expired (UI thread).
    void OnTimer() { m_link.OnTimer(); }

    bool IsUpdating() const { return m_context.m_bUpdating != 0; }
    // Block exchanges retried so far in this update (any thread).
    int RetriesSoFar() const { return m_context.m_retries.load(); }
    const UpdateResult& Result() const { return m_context.m_result; }
    SerialChannel& Serial() { return m_link.Serial(); }
    RadioLink& Link() { return m_link; }
    // The context the steps run over (to run one step on its own).
    UpdateContext& Context() { return m_context; }

    // Why the request's inputs, or the files it keeps, forbid writing
    // `output` (`what` names it: "--trace FILE"); empty when nothing does.
    // For the outputs a front end writes beside the update.
    std::string OutputConflict(const UpdateRequest& request, const std::string& what, const std::string& output);

private:
    struct ProcedureStep;

    // Every step from the port's opening to the verification; false at the
    // first that fails, with its message shown.
    bool RunProcedure();
    bool OpenPortAndAskForPower();
    bool RunStep(const ProcedureStep& step);
    bool Fail(unsigned messageId);
    // The one tear-down: `done` after a success.
    void EndUpdate(bool done);

    UpdateEvents& m_events;
    Host& m_host;
    RadioLink m_link;
    UpdateContext m_context;
};

// The firmware file a WRITE takes when none is named: the first *.002 in
// the host's firmware folder (empty: none there).
std::string FirmwareBesideProgram(Host& host);
