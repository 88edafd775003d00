// Starts FILE elevated in FOLDER, as the update dialogs start an installer,
// and ends without waiting for it (exit status 1 when the start failed).
// With --wait it stays until the start is refused (exit status 3) or the
// installer has ended (0).
//
//   elevatedstart_probe FILE FOLDER [--wait]

#include "ElevatedStart.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3 && arguments.size() != 4)
        return 2;
    ElevatedStart elevated;
    if (!elevated.start(arguments.at(1), arguments.at(2)))
        return 1;
    if (arguments.size() == 3)
        return 0;
    QObject::connect(&elevated, &ElevatedStart::refused, &app, [] { QCoreApplication::exit(3); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&elevated] {
        if (!elevated.isRunning())
            QCoreApplication::exit(0);
    });
    poll.start(50);
    return app.exec();
}
