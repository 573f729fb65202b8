#pragma once
#include <string>
#include <vector>

#include "dialog/log_pane.h"
#include "update/message_pump.h"

// What the user sees of the main dialog: its log pane and the controls
// around it. UpdaterDialog never calls a toolkit; each window (Qt, Win32,
// the tests' view) implements this and forwards its events (init, WRITE,
// CLOSE, timer 1, destroy) to the dialog.
class DialogView : public LogPane {
public:
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
    virtual void EndDialog() = 0;
};

// A window that is both: what the Qt and Win32 dialogs (and the tests' view) are.
class DialogWindow : public DialogView, public MessagePump {
};
