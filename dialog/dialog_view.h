#pragma once
#include <string>
#include <vector>

#include "update/message_pump.h"

// What the user sees of the main dialog. UpdaterDialog never calls a
// toolkit; each front end (console, Qt, Win32, tests) implements this and
// forwards its events (init, WRITE, CLOSE, timer 1, destroy) to the dialog.
// The buttons of a message box: OK alone; OK and Cancel with OK the
// default; OK and Cancel with Cancel the default (a question whose OK
// replaces what a radio holds).
enum class MessageButtons { Ok, OkCancel, OkCancelDefaultCancel };

class DialogView {
public:
    virtual ~DialogView() = default;

    virtual void SetTitle(const std::string& text) = 0;
    // The window's icon (the application's own).
    virtual void SetIcon() = 0;
    // IDC_COMPORT: the port list and its selection (-1: none).
    virtual void SetPortList(const std::vector<std::string>& ports, int selected) = 0;
    virtual std::string SelectedPort() const = 0;
    virtual void SelectPort(const std::string& name) = 0;
    // IDC_FIRMWARE: the firmware file path.
    virtual void SetFirmwarePath(const std::string& path) = 0;
    virtual std::string FirmwarePath() const = 0;
    // IDC_LOG: the stored log and the transient text shown behind it.
    virtual void SetLogText(const std::string& log, const std::string& transient) = 0;
    // IDC_PROGRESS: the progress bar.
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    // Disables (true) or enables (false) the port list, firmware field,
    // WRITE, CLOSE and the window's close command.
    virtual void LockControls(bool lock) = 0;
    // A modal message box captioned "VOKTA4" with these buttons. Returns
    // true for OK.
    virtual bool ShowMessage(const std::string& text, MessageButtons buttons) = 0;
    // A question answered with a typed reason, Cancel by default: true (and
    // the reason, not empty) for OK. A view that cannot ask answers Cancel.
    virtual bool AskReason(const std::string&, std::string&) { return false; }
    virtual void EndDialog() = 0;
};

// A window that is both: what the Qt and Win32 dialogs (and the tests' view) are.
class DialogWindow : public DialogView, public MessagePump {
};
