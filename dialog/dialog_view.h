#pragma once
#include <string>
#include <vector>

// What the user sees of the main dialog. UpdaterDialog never calls a
// toolkit; each front end (console, Qt, Win32, tests) implements this and
// forwards its events (init, WRITE, CLOSE, timer 1, destroy) to the dialog.
class DialogView {
public:
    virtual ~DialogView() = default;

    virtual void SetTitle(const std::string& text) = 0;
    virtual void SetIcon(int resourceId) = 0;
    // Control 1001: the port list and its selection (-1: none).
    virtual void SetPortList(const std::vector<std::string>& ports, int selected) = 0;
    virtual std::string SelectedPort() const = 0;
    virtual void SelectPort(const std::string& name) = 0;
    // Control 1002: the firmware file path.
    virtual void SetFirmwarePath(const std::string& path) = 0;
    virtual std::string FirmwarePath() const = 0;
    // Control 1003: the stored log and the transient text shown behind it.
    virtual void SetLogText(const std::string& log, const std::string& transient) = 0;
    // Control 1004.
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    // Disables (true) or enables (false) the port list, firmware field,
    // WRITE, CLOSE and the window's close command.
    virtual void LockControls(bool lock) = 0;
    // A modal message box captioned "VOKTA4". Returns true for OK.
    virtual bool ShowMessage(const std::string& text, bool okCancel) = 0;
    virtual void EndDialog() = 0;
};

// How the core waits while a command is pending: window timer 1 and the
// window's message loop. The loop must keep painting, CLOSE and the timer
// alive while the procedure is on the stack.
class MessagePump {
public:
    virtual ~MessagePump() = default;

    // Window timer 1: fires once per arming unless killed or re-armed; its
    // expiry reaches the dialog as OnTimer(1).
    virtual void SetTimer1(unsigned ms) = 0;
    virtual void KillTimer1() = 0;
    // Blocks until one window message has been handled (true) or Wake() was
    // called (false). Handling a message may call back into the dialog.
    virtual bool DispatchNextMessage() = 0;
    // Handles one pending message if there is one, without blocking.
    virtual bool DispatchPendingMessage() = 0;
    // Callable from any thread: makes a blocked DispatchNextMessage return.
    virtual void Wake() = 0;
};

// A window that is both: what the Qt and Win32 dialogs (and the tests' view) are.
class DialogWindow : public DialogView, public MessagePump {
};
