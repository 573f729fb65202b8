#pragma once
#include <windows.h>

class Host;

// The about box on template 100, below its texts where the program keeps
// its files (the data file, backups, service record, boot program), so that
// a technician looking for a backup finds it.
void ShowAboutBox(HINSTANCE instance, HWND owner, Host& host);
