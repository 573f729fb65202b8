#include "frontends/cli/write_options.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "update/memory_map.h"

namespace fs = std::filesystem;

namespace {

// Reads the --channel-data backup; false (with the reason on stderr) when it
// is not a regular file of exactly 16384 bytes.
bool ReadChannelData(const std::string& path, std::vector<std::uint8_t>& data)
{
    std::error_code ec;
    const fs::file_status st = fs::status(fs::u8path(path), ec);
    const char* wrong = ec || !fs::exists(st)   ? "no such file"
                        : fs::is_directory(st)  ? "a folder, not a channel-data backup"
                        : !fs::is_regular_file(st) ? "not a regular file"
                                                   : nullptr;
    if (wrong) {
        std::cerr << "vokta4-cli: " << path << ": " << wrong << "\n";
        return false;
    }
    std::ifstream in(fs::u8path(path), std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::cerr << "vokta4-cli: cannot read " << path << "\n";
        return false;
    }
    if (data.size() != kChannelSize) {
        std::cerr << "vokta4-cli: " << path << " holds " << data.size()
                  << " bytes; a channel-data backup holds exactly " << kChannelSize << "\n";
        return false;
    }
    return true;
}

}  // namespace

bool ApplyWriteArgs(const WriteArgs& args, bool several, const std::string& dataFile, UpdateOptions& options)
{
    options.dataFilePath = dataFile;
    options.bootImageFile = args.bootImage;
    options.reasonsInLog = false;  // reasons go to stderr, or to the radio's log and events
    // With several radios a question about one radio's channel data cannot
    // share one answer: the radio is left unchanged instead.
    options.erasedChannelArea = args.blankChannelData     ? ErasedChannelArea::WriteBlank
                                : (several || args.yes) ? ErasedChannelArea::Refuse
                                                        : ErasedChannelArea::Ask;
    options.channelDataFile = args.channelData;
    options.channelData.clear();
    return args.channelData.empty() || ReadChannelData(args.channelData, options.channelData);
}

bool AttachTrace(const WriteArgs& args, TraceFile& trace, SerialChannel& serial)
{
    if (args.trace.empty())
        return true;
    if (!trace.Open(args.trace)) {
        std::cerr << "vokta4-cli: cannot write " << args.trace << "\n";
        return false;
    }
    serial.SetTrafficObserver([&trace](bool sent, const std::uint8_t* d, std::size_t n) { trace.Record(sent, d, n); });
    return true;
}

std::string SeveralRadiosProblem(const WriteArgs& args)
{
    std::error_code ec;
    if (!args.dataFile.empty() && !fs::is_directory(fs::u8path(args.dataFile), ec))
        return "with several radios --data-file names a folder (for each radio's data file, backups and log); " +
               args.dataFile + " is not one";
    if (!args.channelData.empty())
        return "--channel-data belongs to one radio: give one --port with it";
    if (!args.trace.empty())
        return "--trace belongs to one radio: give one --port with it";
    return std::string();
}
