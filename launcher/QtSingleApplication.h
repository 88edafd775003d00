#pragma once

#include <QApplication>

// An application object that knows whether another process of the same
// application is already running (SingleInstance: the same executable file).
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    // GUIenabled is kept for source compatibility: Qt 5 has no QApplication
    // without a GUI, so the application is always a GUI one. Takes the
    // instance lock unless isRunning() already has.
    QtSingleApplication(int &argc, char **argv, bool GUIenabled = true);
    ~QtSingleApplication() override;

    // SingleInstance::anotherIsRunning(): asked here, by constructing the
    // application, or before any application object exists, the process
    // takes or finds the instance lock once.
    static bool isRunning();
};
