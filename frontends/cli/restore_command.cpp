#include "frontends/cli/restore_command.h"

#include <filesystem>

#include "frontends/cli/console_platform.h"

namespace fs = std::filesystem;

namespace {

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::absolute(fs::u8path(path), ec);
    return ec ? path : p.u8string();
}

}  // namespace

// The exact command that writes the radio again with `channelData`: the
// program by its absolute path (a portable folder is not on PATH), every
// option of this run that matters, every path absolute and quoted.
std::string RestoreCommand(const WriteArgs& args, const std::string& program, const std::string& port,
                           const std::string& firmware, const std::string& channelData)
{
    std::string cmd = QuoteArgument(Absolute(program)) + " write --port " + QuoteArgument(port) + " --firmware " +
                      QuoteArgument(Absolute(firmware)) + " --channel-data " + QuoteArgument(Absolute(channelData));
    if (!args.bootImage.empty())
        cmd += " --boot-image " + QuoteArgument(Absolute(args.bootImage));
    if (!args.dataFile.empty())
        cmd += " --data-file " + QuoteArgument(Absolute(args.dataFile));
    if (args.replaceChannelData)
        cmd += " --replace-channel-data";
    if (args.test)
        cmd += " --test";
    if (args.verify)
        cmd += " --verify";
    if (args.allowIncomplete)
        cmd += " --allow-incomplete";
    return cmd;
}

