#include "ConverterHandoff.h"
#include "SingleInstance.h"
#include "StartPathModule.h"

#include <QSharedMemory>

// The user starts the launcher instead of the converter. It ends at once when
// it already runs, signals a converter that already runs, or else leaves its
// pid where the converter finds it, restarts the converter and shows the
// splash until the converter ends this process. Every path returns 0: nobody
// waits for the launcher's result. Only a launcher that cannot start its
// splash at all (its module missing or broken) says so, with 1.
int main(int argc, char *argv[])
{
    // Every double-click on a PDF while the converter runs starts a launcher
    // that only hands off. Neither that nor ending at once needs the GUI, so
    // both are settled with Qt Core alone, before the application object
    // (display connection, platform plugin, fonts) exists and, on Linux,
    // before Qt Gui and Widgets are even loaded.
    if (SingleInstance::anotherIsRunning())
        return 0;

    QSharedMemory segment;
    segment.setKey(QStringLiteral("pdfconvertersm"));
    if (ConverterHandoff::attachToRunningConverter(segment)) {
        ConverterHandoff::send(segment);
        segment.detach();
        return 0;
    }

    return StartPathModule::run(argc, argv);
}
