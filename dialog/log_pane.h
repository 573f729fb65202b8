#pragma once
#include <string>

// The buttons of a message box: OK alone; OK and Cancel with OK the
// default; OK and Cancel with Cancel the default (a question whose OK
// replaces what a radio holds).
enum class MessageButtons { Ok, OkCancel, OkCancelDefaultCancel };

// Where an update's log is shown: the log text, the progress bar and the
// message boxes. A window's log pane is one (with the rest of the dialog
// around it); so is a terminal.
class LogPane {
public:
    virtual ~LogPane() = default;

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
    // the reason, not empty) for OK. A pane that cannot ask answers Cancel.
    virtual bool AskReason(const std::string&, std::string&) { return false; }
};
