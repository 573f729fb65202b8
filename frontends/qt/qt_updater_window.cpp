#include "frontends/qt/qt_updater_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "update/string_table.h"
#include "dialog/updater_dialog.h"
#include "platform/host.h"
#include "frontends/qt/dialog_units.h"
#include "res/resource.h"

namespace {

QString Q(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<int>(s.size()));
}

std::string S(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

}  // namespace

QIcon QtUpdaterWindow::AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / 32.0, size / 32.0);
        p.fillRect(QRectF(10, 1, 3, 9), QColor(40, 40, 40));      // antenna
        p.fillRect(QRectF(7, 8, 18, 23), QColor(30, 60, 140));    // body
        p.fillRect(QRectF(10, 11, 12, 7), QColor(150, 220, 150)); // display
        for (int y = 21; y < 28; y += 2)
            p.fillRect(QRectF(10, y, 12, 1), QColor(200, 200, 210));  // speaker
        icon.addPixmap(pm);
    }
    return icon;
}

QtUpdaterWindow::QtUpdaterWindow(Host& host, QWidget* parent)
    : QDialog(parent),
      m_host(host),
      m_write(new QPushButton(QStringLiteral("WRITE"), this)),
      m_close(new QPushButton(QStringLiteral("CLOSE"), this)),
      m_portLabel(new QLabel(QStringLiteral("COM PORT"), this)),
      m_ports(new QComboBox(this)),
      m_firmwareLabel(new QLabel(QStringLiteral("FIRM PROGRAM"), this)),
      m_firmware(new QLineEdit(this)),
      m_log(new QPlainTextEdit(this)),
      m_progress(new QProgressBar(this))
{
    setModal(true);
    // The dialog template's font, or a font with its metrics: the layout in
    // dialog units and the log's tab stops then come out as on Windows.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Arimo"), QStringLiteral("Arial")});
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    m_write->setDefault(true);
    m_write->setAutoDefault(true);
    m_close->setAutoDefault(false);
    m_firmware->setReadOnly(true);
    m_log->setReadOnly(true);
    // Reasons and paths run longer than the pane: they wrap, anywhere if a
    // path has no blank.
    m_log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A Windows edit control puts its tab stops every 32 dialog units.
    m_log->setTabStopDistance(DialogUnits(font()).X(kLogTabStop));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    Layout();

    // Linux has no system menu: the about box opens from the context menu and F1.
    auto* about = new QAction(Q(LoadStringResource(IDS_ABOUTBOX)), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, &QtUpdaterWindow::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // The UI thread's dispatcher: the command wait sleeps in it, and the
    // reader thread wakes it.
    m_dispatcher = QAbstractEventDispatcher::instance();
    m_timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_timer1, &QTimer::timeout, this, [this] { m_dialog->OnTimer(); });
    m_dialog = std::make_unique<UpdaterDialog>(*this, host);
    connect(m_write, &QPushButton::clicked, this, [this] { m_dialog->OnWrite(); });
    connect(m_close, &QPushButton::clicked, this, [this] { m_dialog->OnCloseButton(); });
}

QtUpdaterWindow::~QtUpdaterWindow() = default;

void QtUpdaterWindow::Layout()
{
    const DialogUnits du(font());
    m_write->setGeometry(du.Rect(185, 5, 50, 14));
    m_close->setGeometry(du.Rect(185, 20, 50, 14));
    m_portLabel->setGeometry(du.Rect(5, 5, 55, 10));
    m_ports->setGeometry(du.Rect(5, 20, 90, 14));  // closed height; the list drops below
    m_firmwareLabel->setGeometry(du.Rect(5, 40, 65, 10));
    m_firmware->setGeometry(du.Rect(5, 50, 230, 15));
    m_log->setGeometry(du.Rect(5, 70, 230, 85));
    // One unit higher than 160: a bar at 160 with its 10 units would end
    // below the window's 169, its bottom edge cut.
    m_progress->setGeometry(du.Rect(0, 159, 235, 10));
    setFixedSize(du.X(237), du.Y(169));
}

void QtUpdaterWindow::Prepare(const QString& commandLine)
{
    m_dialog->OnInitDialog(S(commandLine));
}

void QtUpdaterWindow::ShowAbout()
{
    QDialog box(this);
    box.setWindowTitle(QStringLiteral(TXT_ABOUT_CAPTION));
    auto* icon = new QLabel(&box);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    // Where the files are: a technician looking for the backups finds them.
    auto* text = new QLabel(QStringLiteral(TXT_ABOUT_LINE1 "\n" TXT_ABOUT_LINE2 "\n\nFiles, ") +
                                Q(DescribeFilePlaces(m_host)),
                            &box);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, &box);
    connect(ok, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* row = new QHBoxLayout(&box);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    box.exec();
}

void QtUpdaterWindow::SetTitle(const std::string& text)
{
    setWindowTitle(Q(text));
}

void QtUpdaterWindow::SetIcon()
{
    setWindowIcon(AppIcon());
}

void QtUpdaterWindow::SetPortList(const std::vector<std::string>& ports, int selected)
{
    m_ports->clear();
    for (const std::string& p : ports)
        m_ports->addItem(Q(p));
    m_ports->setCurrentIndex(selected);
}

std::string QtUpdaterWindow::SelectedPort() const
{
    return S(m_ports->currentText());
}

void QtUpdaterWindow::SelectPort(const std::string& name)
{
    const int i = m_ports->findText(Q(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i >= 0)
        m_ports->setCurrentIndex(i);
}

void QtUpdaterWindow::SetFirmwarePath(const std::string& path)
{
    m_firmware->setText(Q(path));
}

std::string QtUpdaterWindow::FirmwarePath() const
{
    return S(m_firmware->text());
}

void QtUpdaterWindow::SetLogText(const std::string& log, const std::string& transient)
{
    QString text = Q(log + transient);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_log->setPlainText(text);
    // The newest line in view, like the end of a growing log.
    m_log->moveCursor(QTextCursor::End);
    m_log->ensureCursorVisible();
}

void QtUpdaterWindow::SetProgressRange(int low, int high)
{
    m_progress->setRange(low, high);
}

void QtUpdaterWindow::SetProgressPos(int pos)
{
    // Like the native control, a position past the end shows the bar full.
    m_progress->setValue(std::min(std::max(pos, m_progress->minimum()), m_progress->maximum()));
}

void QtUpdaterWindow::LockControls(bool lock)
{
    for (QWidget* w : {static_cast<QWidget*>(m_ports), static_cast<QWidget*>(m_firmware),
                       static_cast<QWidget*>(m_write), static_cast<QWidget*>(m_close)})
        w->setEnabled(!lock);
}

bool QtUpdaterWindow::ShowMessage(const std::string& text, MessageButtons buttons)
{
    // The box bears the window's title, so that a technician with several
    // windows open sees whose "Done." it is.
    const QString title = windowTitle().isEmpty() ? QStringLiteral(TXT_MESSAGE_CAPTION) : windowTitle();
    QMessageBox box(QMessageBox::Warning, title, Q(text),
                    buttons == MessageButtons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(buttons == MessageButtons::OkCancelDefaultCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

bool QtUpdaterWindow::AskReason(const std::string& prompt, std::string& reason)
{
    QInputDialog box(this);
    box.setWindowTitle(QStringLiteral(TXT_MESSAGE_CAPTION));
    box.setLabelText(Q(prompt));
    box.setInputMode(QInputDialog::TextInput);
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Cancel"));
    // Cancel is the default: Return in an empty field writes nothing.
    if (box.exec() != QDialog::Accepted || box.textValue().trimmed().isEmpty())
        return false;
    reason = box.textValue().trimmed().toStdString();
    return true;
}

void QtUpdaterWindow::SetTimer1(unsigned ms)
{
    m_timer1.start(static_cast<int>(ms));
}

void QtUpdaterWindow::KillTimer1()
{
    m_timer1.stop();
}

bool QtUpdaterWindow::DispatchNextMessage()
{
    if (m_woken.exchange(false))
        return false;
    // Sleeps until an event arrives or Wake() wakes the dispatcher.
    const bool handled = m_dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    m_woken = false;
    return handled;
}

bool QtUpdaterWindow::DispatchPendingMessage()
{
    return m_dispatcher->processEvents(QEventLoop::AllEvents);
}

void QtUpdaterWindow::Wake()
{
    m_woken = true;
    m_dispatcher->wakeUp();  // thread-safe
}

void QtUpdaterWindow::EndDialog()
{
    done(QDialog::Rejected);  // CLOSE: ends the window even during an update
}

void QtUpdaterWindow::reject()
{
    if (!m_dialog->IsUpdating())
        QDialog::reject();
}

void QtUpdaterWindow::closeEvent(QCloseEvent* event)
{
    if (m_dialog->IsUpdating())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void QtUpdaterWindow::done(int result)
{
    // The window's end: the port is saved, whatever the outcome.
    if (!m_destroyed) {
        m_destroyed = true;
        m_dialog->OnDestroy();
    }
    QDialog::done(result);
}
