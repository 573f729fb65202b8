#pragma once
#include <string>

#include "update/update_job.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/trace_file.h"

// What `vokta4-cli write` asks of an update, the same for one radio, one
// radio with --json and several radios: every write option is applied here
// and nowhere else.

// Sets the request's options from the arguments for a radio whose data
// file is `dataFile`; `several`: one of several radios, whose questions
// about channel data cannot share one answer. False (with the reason on
// stderr) when --channel-data cannot be used. The port, firmware and mode
// are the caller's (a window's fields, or the radio's own port).
bool ApplyWriteArgs(const WriteArgs& args, bool several, const std::string& dataFile, UpdateRequest& request);

// Opens --trace (when given) and records the job's traffic in it; false
// (with the reason on stderr) when it would destroy a file `request` keeps
// or reads, or cannot be written.
bool AttachTrace(const WriteArgs& args, TraceFile& trace, UpdateJob& job, const UpdateRequest& request);

// Why these arguments cannot run as one update of several radios (empty
// when they can).
std::string SeveralRadiosProblem(const WriteArgs& args);
