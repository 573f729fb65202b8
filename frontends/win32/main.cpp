// VOKTA4.exe: the main dialog, run modally; the program ends with it.
#include <windows.h>
#include <commctrl.h>

#include "platform/native_host.h"
#include "dialog/updater_dialog.h"
#include "frontends/win32/win32_dialog_view.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    NativeHost host;
    UpdaterDialog* dialog = nullptr;
    Win32DialogView view(instance, host, dialog);
    UpdaterDialog updater(view, host);
    dialog = &updater;
    view.RunModal(commandLine);
    return 0;
}
