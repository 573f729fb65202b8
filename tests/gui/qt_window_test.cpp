// The Linux window with QTest on the offscreen platform, against the
// simulated radio on a pseudo-terminal.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/native_host.h"
#include "dialog/updater_dialog.h"
#include "frontends/qt/dialog_units.h"
#include "frontends/qt/qt_updater_window.h"
#include "image/firmware_image.h"
#include "update/approved_firmware.h"
#include "sim/pty_host.h"
#include "sim/radio_model.h"

namespace {

// Answers every message box as it appears: OK, or the next scripted answer.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(std::function<void(const QString&)> onBox = {}) : m_onBox(std::move(onBox))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(5);
    }
    QStringList texts;
    QStringList titles;
    QList<bool> answers;  // used in order; OK once they run out

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            m_last = nullptr;  // the next box may reuse the last one's address
            return;
        }
        if (box == m_last)
            return;
        m_last = box;
        texts << box->text();
        titles << box->windowTitle();
        if (m_onBox)
            m_onBox(box->text());
        const bool ok = answers.isEmpty() ? true : answers.takeFirst();
        QAbstractButton* button = box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel);
        QTimer::singleShot(0, button, [button] { button->click(); });
    }
    std::function<void(const QString&)> m_onBox;
    QTimer m_timer;
    QMessageBox* m_last = nullptr;
};

// Answers the box that asks for a reason: types the next reason and presses
// OK, or presses Cancel for an empty one.
class ReasonAnswerer : public QObject {
public:
    explicit ReasonAnswerer(QStringList reasons) : m_reasons(std::move(reasons))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(5);
    }
    QStringList prompts;

private:
    void Poll()
    {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box || box == m_last)
            return;
        m_last = box;
        prompts << box->labelText();
        box->grab().save(QStringLiteral(VOKTA4_RENDER_DIR "/vokta4-unlisted-firmware-reason.png"));
        const QString reason = m_reasons.isEmpty() ? QString() : m_reasons.takeFirst();
        box->setTextValue(reason);
        QTimer::singleShot(0, box, [box, reason] { reason.isEmpty() ? box->reject() : box->accept(); });
    }
    QStringList m_reasons;
    QTimer m_timer;
    QInputDialog* m_last = nullptr;
};

// The machine's host, with a catalogue of approved firmware of the test's own.
class CatalogueHost : public NativeHost {
public:
    std::string catalogue;
    std::vector<std::string> CataloguePlaces() override
    {
        return catalogue.empty() ? NativeHost::CataloguePlaces() : std::vector<std::string>{catalogue};
    }
};

const QString kLog = QStringLiteral(
    "Waiting for power on Radio.\t\t......OK\nRadio connection.\t\t\t......OK\n"
    "Boot program sending.\t\t......OK\nBoot program start.\t\t\t......OK\n"
    "Firmware file convert.\t......OK\nData Loading.\t\t\t......OK\n"
    "Rom all Clear.\t\t\t......OK\nFirmware write.\t\t\t......OK");

}  // namespace

class QtWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<RadioModel> m_radioA, m_radioB, m_radioC;
    std::unique_ptr<PtyHost> m_hostA, m_hostB, m_hostC;
    CatalogueHost m_host;
    QString m_firmware;

    std::unique_ptr<QtUpdaterWindow> NewWindow(const QString& commandLine = QString())
    {
        auto window = std::make_unique<QtUpdaterWindow>(m_host);
        window->Prepare(commandLine);
        window->Dialog().Options().dataFilePath = (m_dir.path() + "/vokt.tmp").toStdString();
        window->Dialog().Options().bootImageFile = VOKTA4_SIM_BOOT;
        window->show();
        return window;
    }
    void SavePort(const std::string& port)
    {
        m_host.WriteProfileValue("VOKTA4", "PORT", port);
    }
    void UseFirmware(QtUpdaterWindow& w)
    {
        w.SetFirmwarePath(m_firmware.toStdString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toLocal8Bit());
        qputenv("XDG_STATE_HOME", (m_dir.path() + "/state").toLocal8Bit());
        RadioModel::Settings settings;
        settings.eraseTime = std::chrono::milliseconds(300);
        m_radioA = std::make_unique<RadioModel>(settings);
        m_radioB = std::make_unique<RadioModel>(settings);
        // Radio C never acknowledges block 40's data on the first five tries.
        settings.faults = {{RadioModel::Step::WriteData, 40, 5, RadioModel::Fault::Silence}};
        m_radioC = std::make_unique<RadioModel>(settings);
        m_hostA = std::make_unique<PtyHost>(*m_radioA);
        m_hostB = std::make_unique<PtyHost>(*m_radioB);
        m_hostC = std::make_unique<PtyHost>(*m_radioC);
        std::string error;
        QVERIFY(m_hostA->Start(error));
        QVERIFY(m_hostB->Start(error));
        QVERIFY(m_hostC->Start(error));
        qputenv("VOKTA4_PORTS", QByteArray::fromStdString(m_hostA->SlavePath() + ":/nonexistent/port:" +
                                                         m_hostB->SlavePath() + ":" + m_hostC->SlavePath()));
        m_firmware = QStringLiteral(VOKTA4_DEMO_FIRMWARE);
    }

    void titleInBothModes()
    {
        QCOMPARE(NewWindow()->windowTitle(), QStringLiteral("VOKTA4 RELEASE (R01.00) for VR-3900"));
        QCOMPARE(NewWindow("-T")->windowTitle(), QStringLiteral("VOKTA4 TEST (R01.00) for VR-3900"));
        QCOMPARE(NewWindow("-T x")->windowTitle(), QStringLiteral("VOKTA4 RELEASE (R01.00) for VR-3900"));
    }

    void portListFromTheEnvironmentWithTheSavedPortPreselected()
    {
        SavePort(m_hostB->SlavePath());
        auto w = NewWindow();
        QCOMPARE(w->PortList()->count(), 3);
        QCOMPARE(w->PortList()->itemText(0).toStdString(), m_hostA->SlavePath());
        QCOMPARE(w->PortList()->currentText().toStdString(), m_hostB->SlavePath());
    }

    void fullUpdateToDoneThenTheLogIsClearedAndTheBarAtZero()
    {
        SavePort(m_hostA->SlavePath());
        auto w = NewWindow();
        UseFirmware(*w);
        QString logAtDone;
        int barAtDone = -1;
        BoxAnswerer boxes([&](const QString& text) {
            if (text == QLatin1String("Done.")) {
                logAtDone = w->LogPane()->toPlainText();
                barAtDone = w->Progress()->value();
                QTest::qWait(1000);  // the technician reads the box a while
            }
        });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
        const double seconds = static_cast<double>(clock.elapsed()) / 1000;
        QCOMPARE(boxes.texts, QStringList({"Power Supply?", "Done."}));
        QCOMPARE(boxes.titles.last(), w->windowTitle());
        QCOMPARE(logAtDone, kLog);
        QCOMPARE(barAtDone, 0);
        QCOMPARE(w->LogPane()->toPlainText(), QString());
        QCOMPARE(w->Progress()->value(), 0);
        QVERIFY(w->WriteButton()->isEnabled());
        QVERIFY(w->CloseButton()->isEnabled());
        // The window keeps a service record of the update too.
        // ... whose duration ends at "Done.", not when its box is closed.
        QFile record(m_dir.path() + QStringLiteral("/vokta4-history.jsonl"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QByteArray last = record.readAll().trimmed().split('\n').last();
        QVERIFY(last.contains("\"result\":\"Done.\""));
        const double duration = QJsonDocument::fromJson(last).object().value(QStringLiteral("duration_s")).toDouble();
        QVERIFY2(duration > 0 && duration < seconds - 0.9, qPrintable(QString::number(duration) + " of " + QString::number(seconds)));
    }

    void cancelAtPowerSupplyLeavesTheFirstLine()
    {
        auto w = NewWindow();
        UseFirmware(*w);
        BoxAnswerer boxes;
        boxes.answers = {false};
        QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList({"Power Supply?"}));
        QCOMPARE(w->LogPane()->toPlainText(), QStringLiteral("Waiting for power on Radio."));
        QVERIFY(w->WriteButton()->isEnabled());
    }

    void escapeAndCloseAreIgnoredDuringTheUpdate()
    {
        auto w = NewWindow();
        UseFirmware(*w);
        BoxAnswerer boxes;
        bool tried = false, lockedDuring = false;
        QTimer::singleShot(700, w.get(), [&] {
            tried = true;
            lockedDuring = !w->CloseButton()->isEnabled() && !w->WriteButton()->isEnabled();
            QTest::keyClick(w.get(), Qt::Key_Escape);
            w->close();
        });
        QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
        QVERIFY(tried);
        QVERIFY(lockedDuring);
        QCOMPARE(boxes.texts, QStringList({"Power Supply?", "Done."}));
        QVERIFY(w->isVisible());
        QCOMPARE(w->result(), 0);
    }

    void thePortIsSavedAtExit()
    {
        SavePort("0");
        auto w = NewWindow();
        w->PortList()->setCurrentIndex(1);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QCOMPARE(m_host.ReadProfileValue("VOKTA4", "PORT", "0"), m_hostB->SlavePath());
    }

    // Renders the window during an update into the build folder, and checks
    // that no control's text is clipped at this scale.
    void renderDuringTheUpdateWithoutClippedText()
    {
        auto w = NewWindow();
        UseFirmware(*w);
        BoxAnswerer boxes;
        QString file;
        QStringList clipped;
        QTimer::singleShot(900, w.get(), [&] {
            const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
            file = QStringLiteral(VOKTA4_RENDER_DIR "/vokta4-window-scale%1.png").arg(scale);
            w->grab().save(file);
            for (QLabel* label : w->findChildren<QLabel*>()) {
                const QFontMetrics fm(label->font());
                if (fm.horizontalAdvance(label->text()) > label->contentsRect().width() ||
                    fm.height() > label->contentsRect().height())
                    clipped << label->text();
            }
            for (QPushButton* button : w->findChildren<QPushButton*>()) {
                QStyleOptionButton opt;
                opt.initFrom(button);
                opt.text = button->text();
                const QRect r = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
                const QFontMetrics fm(button->font());
                if (fm.horizontalAdvance(button->text()) > r.width() || fm.height() > r.height())
                    clipped << button->text();
            }
            QComboBox* combo = w->PortList();
            QStyleOptionComboBox opt;
            opt.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
            if (combo->fontMetrics().height() > field.height())
                clipped << QStringLiteral("port list");
        });
        QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
        QVERIFY(!file.isEmpty());
        QVERIFY(QFile::exists(file));
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(", ")));
        QVERIFY(w->rect().contains(w->Progress()->geometry()));  // the bar's bottom edge shows
        QCOMPARE(boxes.texts.last(), QStringLiteral("Done."));
    }

    // A failed update puts its reason and what to do into the log before
    // the failure's box, scrolled into view and wrapped; the technician's
    // second WRITE finds the update unfinished in the journal, offers the
    // backup instead of writing the blank area, and the log and the service
    // record say that its channel data were written back.
    void aFailedUpdateShowsItsReasonAndTheSecondWriteOffersTheBackup()
    {
        SavePort(m_hostC->SlavePath());
        auto w = NewWindow();
        UseFirmware(*w);
        QString log;
        bool atEnd = false, wrapped = false;
        {
            BoxAnswerer boxes([&](const QString& text) {
                if (text != QLatin1String("Firm write error."))
                    return;
                log = w->LogPane()->toPlainText();
                const QScrollBar* v = w->LogPane()->verticalScrollBar();
                atEnd = v->maximum() > 0 && v->value() == v->maximum();
                wrapped = w->LogPane()->horizontalScrollBar()->maximum() == 0;
            });
            QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
            QCOMPARE(boxes.texts, QStringList({"Power Supply?", "Firm write error."}));
        }
        QVERIFY2(log.contains(QStringLiteral("block 0xFE5000, attempt 5 of 5: no answer to the block data")),
                 qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("The radio's flash is erased")), qPrintable(log));
        QVERIFY(atEnd);
        QVERIFY(wrapped);
        QCOMPARE(w->LogPane()->toPlainText(), log);  // nothing more after the box
        const std::string backup = w->Dialog().ChannelBackupPath();
        QVERIFY(!backup.empty());
        QVERIFY2(log.contains(QString::fromStdString(backup)), qPrintable(log));

        QString question, logAtDone;
        BoxAnswerer again([&](const QString& text) {
            if (text == QLatin1String("Done."))
                logAtDone = w->LogPane()->toPlainText();
            if (!text.startsWith(QStringLiteral("An earlier update did not finish")))
                return;
            question = text;
            QApplication::activeModalWidget()->grab().save(QStringLiteral(VOKTA4_RENDER_DIR "/vokta4-backup-question.png"));
        });
        QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
        QCOMPARE(again.texts.size(), 3);
        QCOMPARE(again.texts.last(), QStringLiteral("Done."));
        QVERIFY2(question.contains(QString::fromStdString(backup)), qPrintable(question));
        const QString writtenBack =
            QStringLiteral("Data Loading.\t\t\t......OK\nThe channel data saved in %1 are written back.\nRom all Clear.")
                .arg(QString::fromStdString(backup));
        QVERIFY2(logAtDone.contains(writtenBack), qPrintable(logAtDone));
        QFile record(m_dir.path() + QStringLiteral("/vokta4-history.jsonl"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QList<QByteArray> records = record.readAll().trimmed().split('\n');
        const QJsonObject channelData = QJsonDocument::fromJson(records.last()).object()["channel_data"].toObject();
        QCOMPARE(channelData["source"].toString(), QStringLiteral("backup"));
        QCOMPARE(channelData["file"].toString().toStdString(), backup);

        // The radio holds the new firmware and its own channel data again.
        const std::vector<std::uint8_t> flash = m_radioC->Flash();
        const std::vector<std::uint8_t> factory = RadioModel::FactoryFlash();
        std::ifstream in(VOKTA4_DEMO_FIRMWARE);
        FirmwareImage image;
        ConvertSRecords(in, image);
        for (std::uint32_t i = 0; i < kImageSize; ++i) {
            const std::uint32_t address = kImageBase + i;
            const bool channel = address >= kChannelStart && address <= kChannelEnd;
            const std::uint8_t expected = address == 0xFFB0F4 ? 0x52 : channel ? factory[i] : image.bytes[i];
            QVERIFY2(flash[i] == expected, qPrintable(QStringLiteral("address %1").arg(address, 6, 16)));
        }
    }

    // The log's "......OK" column stands where the Windows dialog puts it:
    // tab stops every 32 dialog units of the window's font. Seven lines
    // share one column; "Firmware file convert." has one tab and stands apart.
    void theLogsOkColumnFollowsTheTabStops()
    {
        auto w = NewWindow();
        QString log = kLog;
        w->SetLogText(log.replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString(), std::string());
        const DialogUnits du(w->font());
        const double stop = du.X(QtUpdaterWindow::kLogTabStop);
        const QFontMetricsF fm(w->LogPane()->font());
        QList<int> columns;
        for (QTextBlock b = w->LogPane()->document()->firstBlock(); b.isValid(); b = b.next()) {
            const QString text = b.text();
            const int ok = static_cast<int>(text.indexOf(QStringLiteral("......OK")));
            QVERIFY(ok > 0);
            const QString label = text.left(text.indexOf(QLatin1Char('\t')));
            const int tabs = ok - static_cast<int>(label.size());
            const int expected = static_cast<int>((std::floor(fm.horizontalAdvance(label) / stop) + tabs) * stop);
            // Tab stops count from where the text begins, inside the margin.
            const QTextLine line = b.layout()->lineAt(0);
            const int actual = static_cast<int>(line.cursorToX(ok) - line.x());
            QVERIFY2(std::abs(actual - expected) <= 1, qPrintable(QStringLiteral("%1: at %2, the tab stop is at %3")
                                                                    .arg(label).arg(actual).arg(expected)));
            columns << actual;
        }
        QCOMPARE(columns.size(), 8);
        QCOMPARE(columns.count(columns[0]), 7);
        QVERIFY(columns[4] != columns[0]);  // "Firmware file convert."
    }

    // A catalogue that does not list the firmware: the window asks for a
    // reason; Cancel writes nothing and says why in a box, a reason writes
    // the radio and goes into the service record.
    void anUnlistedFirmwareIsRefusedOrWrittenWithTheTechniciansReason()
    {
        ApprovedFirmware other;
        other.sha256 = std::string(64, 'a');
        other.size = 1;
        other.model = "VR-3900";
        other.release = "R09.99";
        std::string error;
        m_host.catalogue = (m_dir.path() + "/approved.jsonl").toStdString();
        QVERIFY(AppendApprovedFirmware(m_host.catalogue, other, error));
        SavePort(m_hostA->SlavePath());
        auto w = NewWindow();
        UseFirmware(*w);
        {
            ReasonAnswerer reasons({QString()});
            BoxAnswerer boxes([](const QString& text) {
                if (text.startsWith(QStringLiteral("This firmware file is not in")))
                    QApplication::activeModalWidget()->grab().save(
                        QStringLiteral(VOKTA4_RENDER_DIR "/vokta4-unlisted-firmware-refused.png"));
            });
            QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
            QCOMPARE(reasons.prompts.size(), 1);
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(QString::fromStdString(m_host.catalogue)), qPrintable(boxes.texts[0]));
            QCOMPARE(w->Dialog().LastOutcome(), UpdateOutcome::FailedIntact);
        }
        {
            ReasonAnswerer reasons({QStringLiteral("field trial for the lab")});
            BoxAnswerer boxes;
            QTest::mouseClick(w->WriteButton(), Qt::LeftButton);
            QCOMPARE(boxes.texts, QStringList({"Power Supply?", "Done."}));
        }
        QFile record(m_dir.path() + QStringLiteral("/vokta4-history.jsonl"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QVERIFY(record.readAll().contains("\"unapproved\":\"field trial for the lab\""));
        m_host.catalogue.clear();
    }

    void cleanupTestCase()
    {
        m_hostA->Stop();
        m_hostB->Stop();
        m_hostC->Stop();
    }
};

QTEST_MAIN(QtWindowTest)
#include "qt_window_test.moc"
