#pragma once
#include <string>

// The text of a string-table entry (ids 101-125); empty for an unknown id.
std::string LoadStringResource(unsigned id);

// The program's title for a mode ("RELEASE", "TEST"): the window's caption
// and the first line of the command line's update.
std::string TitleText(const std::string& mode);
