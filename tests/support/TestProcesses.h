#pragma once

#include "TestWait.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// The processes of this session (under Wine: of this prefix; in a PID
// namespace: of that namespace), for tests that start real processes and
// must see what became of them.
namespace TestProcesses {

struct Process
{
    qint64 pid = 0;
    qint64 parentPid = 0;
    QString executable; // full path, "/" separators
};

// Running processes whose executable lies below `folder` (on Windows
// compared as Windows compares paths: separators and case do not matter).
// A process that has ended but was not yet reaped does not count.
QList<Process> below(const QString &folder);

bool isRunning(qint64 pid);

// Ends the process at once, not waiting for it.
void end(qint64 pid);

// Ends every process below `folder` until none is left; false when some
// are still there when the time runs out.
bool endBelow(const QString &folder, int timeoutMs = TestWait::kWait);

#ifdef Q_OS_WIN
// Waits until the process shows a top-level window; false when it ends or
// the time runs out first.
bool waitForWindow(qint64 pid, int timeoutMs = TestWait::kWait);
#endif

} // namespace TestProcesses
