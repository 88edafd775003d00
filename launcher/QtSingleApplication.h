#pragma once

#include <QApplication>

#include <memory>

class InstanceLock;

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
    // without a GUI, so the application is always a GUI one.
    QtSingleApplication(int &argc, char **argv, bool GUIenabled = true);
    ~QtSingleApplication() override;

    // True when another process with the same application id already ran
    // when this object was created and still runs.
    bool isRunning() const;

private:
    std::unique_ptr<InstanceLock> m_lock;
};
