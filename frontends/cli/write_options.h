#pragma once
#include <string>

#include "dialog/updater_dialog.h"
#include "frontends/cli/commands.h"
#include "frontends/cli/trace_file.h"

// What `vokta4-cli write` asks of an update, the same for one radio, one
// radio with --json and several radios: every write option is applied here
// and nowhere else.

// Sets `options` from the arguments for a radio whose data file is
// `dataFile`; `several`: one of several radios, whose questions about
// channel data cannot share one answer. False (with the reason on stderr)
// when --channel-data cannot be used.
bool ApplyWriteArgs(const WriteArgs& args, bool several, const std::string& dataFile, UpdateOptions& options);

// Opens --trace (when given) and records the dialog's traffic in it; false
// (with the reason on stderr) when it would destroy a file the update keeps
// or reads, or cannot be written. After OnInitDialog and the firmware's
// choice, which the check knows.
bool AttachTrace(const WriteArgs& args, TraceFile& trace, UpdaterDialog& dialog);

// Why these arguments cannot run as one update of several radios (empty
// when they can).
std::string SeveralRadiosProblem(const WriteArgs& args);
