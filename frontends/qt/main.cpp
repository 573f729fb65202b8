// vokta4: the main dialog on the Linux desktop; the program ends with it.
#include <QApplication>
#include <QFileInfo>
#include <QStringList>

#include "platform/native_host.h"
#include "frontends/qt/qt_updater_window.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);  // takes Qt's own options off the command line
    NativeHost host;
    QtUpdaterWindow window(host);
    // "vokta4 FILE" names the firmware; the rest is the command line whose
    // only meaning is the TEST switch.
    QStringList args = QCoreApplication::arguments().mid(1);
    QString firmware;
    if (!args.isEmpty() && QFileInfo(args.last()).isFile()) {
        firmware = QFileInfo(args.last()).absoluteFilePath();
        args.removeLast();
    }
    window.Prepare(args.join(QLatin1Char(' ')));
    if (!firmware.isEmpty())
        window.SetFirmwarePath(firmware.toLocal8Bit().toStdString());
    window.exec();
    return 0;
}
