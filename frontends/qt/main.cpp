// vokta4: the main dialog on the Linux desktop; the program ends with it.
#include <QApplication>
#include <QStringList>

#include "platform/native_host.h"
#include "frontends/qt/qt_updater_window.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);  // takes Qt's own options off the command line
    NativeHost host;
    QtUpdaterWindow window(host);
    window.Prepare(QCoreApplication::arguments().mid(1).join(QLatin1Char(' ')));
    window.exec();
    return 0;
}
