#pragma once
#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>

#include "dialog/dialog_view.h"

class Host;
class QAbstractEventDispatcher;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class UpdaterDialog;

// The main dialog in Qt Widgets: the controls of template 102 in its
// arrangement, forwarding WRITE, CLOSE, timer 1 and the end of the window to
// UpdaterDialog. The command wait sleeps in Qt's event dispatcher.
class QtUpdaterWindow : public QDialog, public DialogWindow {
public:
    static constexpr int kLogTabStop = 32;  // dialog units between the log's tab stops

    explicit QtUpdaterWindow(Host& host, QWidget* parent = nullptr);
    ~QtUpdaterWindow() override;

    // Prepares the dialog; `commandLine` is the text after the program name.
    void Prepare(const QString& commandLine);
    UpdaterDialog& Dialog() { return *m_dialog; }
    QPushButton* WriteButton() const { return m_write; }
    QPushButton* CloseButton() const { return m_close; }
    QComboBox* PortList() const { return m_ports; }
    QPlainTextEdit* LogPane() const { return m_log; }
    QProgressBar* Progress() const { return m_progress; }
    void ShowAbout();

    // DialogView and MessagePump
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

    // The window's own icon, drawn rather than loaded.
    static QIcon AppIcon();

protected:
    void reject() override;                     // Escape
    void closeEvent(QCloseEvent* event) override;  // the close button, Alt+F4
    void done(int result) override;

private:
    void Layout();

    Host& m_host;
    std::unique_ptr<UpdaterDialog> m_dialog;
    QPushButton* m_write;
    QPushButton* m_close;
    QLabel* m_portLabel;
    QComboBox* m_ports;
    QLabel* m_firmwareLabel;
    QLineEdit* m_firmware;
    QPlainTextEdit* m_log;
    QProgressBar* m_progress;
    QTimer m_timer1;
    QAbstractEventDispatcher* m_dispatcher = nullptr;
    std::atomic<bool> m_woken{false};
    bool m_destroyed = false;
};
