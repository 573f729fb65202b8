#pragma once
#include <windows.h>

#include <string>

// A modal question answered with a typed reason, Cancel the default button:
// true (and the reason, not empty) for OK.
bool AskReasonBox(HWND owner, const std::string& prompt, std::string& reason);
