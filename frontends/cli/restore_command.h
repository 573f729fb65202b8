#pragma once
#include <string>

#include "frontends/cli/commands.h"

// The exact command that writes the radio again with `channelData`: the
// program by its absolute path (a portable folder is not on PATH), every
// option of this run that matters, every path absolute and quoted.
std::string RestoreCommand(const WriteArgs& args, const std::string& program, const std::string& port,
                           const std::string& firmware, const std::string& channelData);
