#pragma once
#include <string>

// The text of a string-table entry (ids 101-125); empty for an unknown id.
std::string LoadStringResource(unsigned id);
