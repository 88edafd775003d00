#pragma once

#include <QApplication>

// An application object that knows whether another process of the same
// application is already running. The application id is derived from the full
// path of the executable file (lower-cased on Windows, where paths ignore
// case), so a copy at another path is a different application; it is held per
// user, and per session on Windows.
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    // GUIenabled is kept for source compatibility: Qt 5 has no QApplication
    // without a GUI, so the application is always a GUI one. Takes the
    // instance lock unless isRunning() already has.
    QtSingleApplication(int &argc, char **argv, bool GUIenabled = true);
    ~QtSingleApplication() override;

    // True when another living process with the same application id held
    // the instance lock when this process first asked (here, or by
    // constructing the application); the answer does not change afterwards.
    // Otherwise that first call took the lock, which this process keeps until
    // it ends. It needs no application object: a process that has to end at
    // once can find out before it pays for the GUI.
    static bool isRunning();
};
