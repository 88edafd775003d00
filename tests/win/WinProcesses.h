#pragma once

#include <QList>
#include <QString>

// The processes of this Windows session (under Wine: of this prefix), for
// tests that start real processes and must see what became of them.
namespace WinProcesses {

struct Process
{
    qint64 pid = 0;
    qint64 parentPid = 0;
    QString executable; // full path, "/" separators; empty when it cannot be read
};

QList<Process> all();

// Processes whose executable lies below `folder` (compared as Windows
// compares paths: separators and case do not matter).
QList<Process> below(const QString &folder);

bool isRunning(qint64 pid);

// Waits until the process shows a top-level window; false when it ends or
// the time runs out first.
bool waitForWindow(qint64 pid, int timeoutMs = 30000);

// Ends every process below `folder` and waits until they are gone.
void terminateBelow(const QString &folder, int timeoutMs = 30000);

} // namespace WinProcesses
