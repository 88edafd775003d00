// Starts FILE elevated in FOLDER, as the update dialogs start an installer,
// and ends without waiting for it (exit status 1 when the start failed).
//
//   elevatedstart_probe FILE FOLDER

#include "ElevatedStart.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return 2;
    ElevatedStart elevated;
    return elevated.start(arguments.at(1), arguments.at(2)) ? 0 : 1;
}
