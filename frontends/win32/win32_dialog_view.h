#pragma once
#include <windows.h>

#include "dialog/dialog_view.h"

class Host;
class UpdaterDialog;

// The main dialog as a Win32 dialog box on template 102: the dialog
// procedure forwards the window's events to UpdaterDialog, and the
// DialogView calls become Win32 calls on its controls.
class Win32DialogView : public DialogWindow {
public:
    Win32DialogView(HINSTANCE instance, Host& host, UpdaterDialog*& dialog);
    ~Win32DialogView() override;

    // Runs the dialog modally; `commandLine` is the text after the program name.
    INT_PTR RunModal(const char* commandLine);

    void SetTitle(const std::string& text) override;
    void SetIcon() override;
    void SetPortList(const std::vector<std::string>& ports, int selected) override;
    std::string SelectedPort() const override;
    void SelectPort(const std::string& name) override;
    void SetFirmwarePath(const std::string& path) override;
    std::string FirmwarePath() const override;
    void SetLogText(const std::string& log, const std::string& transient) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void LockControls(bool lock) override;
    bool ShowMessage(const std::string& text, MessageButtons buttons) override;
    bool AskReason(const std::string& prompt, std::string& reason) override;
    void SetTimer1(unsigned ms) override;
    void KillTimer1() override;
    bool DispatchNextMessage() override;
    bool DispatchPendingMessage() override;
    void Wake() override;
    void EndDialog() override;

private:
    void ShowNewestLogLine();
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void PaintMinimised();
    // The context menu with the about item; `at` in screen coordinates, or
    // (-1, -1) from the keyboard. False outside the client area.
    bool ShowContextMenu(LPARAM at);
    bool DispatchOne(const MSG& msg);
    std::string ItemText(int id) const;

    HINSTANCE m_instance;
    Host& m_host;
    UpdaterDialog*& m_dialog;
    HWND m_hwnd = nullptr;
    HICON m_hIcon = nullptr;
    HANDLE m_wake;  // auto-reset event: a reply arrived
    const char* m_commandLine = "";
};
