#include <cerrno>
#include <system_error>
#include "frontends/cli/write_options.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "platform/input_file.h"

#include "update/memory_map.h"

namespace fs = std::filesystem;

namespace {

// Reads the --channel-data backup; false (with the reason on stderr) when it
// is not a regular file of exactly 16384 bytes.
bool ReadChannelData(const std::string& path, std::vector<std::uint8_t>& data)
{
    InputFile file;
    std::string error;
    if (!file.Open(path, error)) {
        std::cerr << "vokta4-cli: " << error << "\n";
        return false;
    }
    // One byte more than a backup holds tells a file that is too long.
    std::istream& in = file.Stream();
    data.resize(kChannelSize + 1);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        std::cerr << "vokta4-cli: cannot read " << path << "\n";
        return false;
    }
    if (data.size() != kChannelSize) {
        std::cerr << "vokta4-cli: " << path << " holds " << (data.size() > kChannelSize ? "more than " : "")
                  << std::min<std::size_t>(data.size(), kChannelSize) << " bytes; a channel-data backup holds exactly "
                  << kChannelSize << "\n";
        return false;
    }
    return true;
}

}  // namespace

int ExitStatusOf(UpdateOutcome outcome)
{
    return outcome == UpdateOutcome::Done               ? kExitDone
           : outcome == UpdateOutcome::FailedAfterErase || outcome == UpdateOutcome::ChannelDataLost ? kExitAfterErase
                                                        : kExitIntact;
}

bool ApplyWriteArgs(const WriteArgs& args, bool several, const std::string& dataFile, UpdateRequest& options)
{
    options.dataFilePath = dataFile;
    options.bootImageFile = args.bootImage;
    options.verify = args.verify;
    // With several radios a question about one radio's channel data cannot
    // share one answer: the radio is left unchanged instead.
    options.erasedChannelArea = args.blankChannelData     ? ErasedChannelArea::WriteBlank
                                : (several || args.yes) ? ErasedChannelArea::Refuse
                                                        : ErasedChannelArea::Ask;
    options.incompleteFirmware = args.allowIncomplete ? IncompleteFirmware::Write : IncompleteFirmware::Refuse;
    options.channelDataFile = args.channelData;
    options.replaceChannelData = args.replaceChannelData;
    options.unapprovedReason = args.unapproved;
    options.channelData.clear();
    return args.channelData.empty() || ReadChannelData(args.channelData, options.channelData);
}

bool AttachTrace(const WriteArgs& args, TraceFile& trace, UpdateJob& job, const UpdateRequest& request)
{
    if (args.trace.empty())
        return true;
    const std::string conflict = job.OutputConflict(request, "--trace " + args.trace, args.trace);
    if (!conflict.empty()) {
        std::cerr << "vokta4-cli: " << conflict << "\n";
        return false;
    }
    if (!trace.Open(args.trace)) {
        const std::error_code why(errno, std::generic_category());
        std::cerr << "vokta4-cli: --trace " << args.trace << " cannot be written: " << why.message() << "\n";
        return false;
    }
    job.Serial().SetTrafficObserver([&trace](bool sent, const std::uint8_t* d, std::size_t n) { trace.Record(sent, d, n); });
    return true;
}

std::string SeveralRadiosProblem(const WriteArgs& args)
{
    std::error_code ec;
    const fs::path dataFile = fs::u8path(args.dataFile);
    if (!args.dataFile.empty() && !fs::is_directory(dataFile, ec))
        return "with several radios --data-file names a folder (for each radio's data file, backups and log); " +
               args.dataFile + (fs::exists(dataFile, ec) ? " is not one" : " does not exist");
    if (!args.channelData.empty())
        return "--channel-data belongs to one radio: give one --port with it";
    if (!args.trace.empty())
        return "--trace belongs to one radio: give one --port with it";
    return std::string();
}
