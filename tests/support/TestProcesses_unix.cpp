#include "TestProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/types.h>

namespace TestProcesses {

namespace {

// Empty for a process that has ended, also before it is reaped.
QString executableOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold anything, even ") ".
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

} // namespace

QList<Process> below(const QString &folder)
{
    QList<Process> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString executable = executableOf(pid);
        if (executable.startsWith(folder + QLatin1Char('/')))
            found.append(Process{pid, parentOf(pid), executable});
    }
    return found;
}

bool isRunning(qint64 pid)
{
    return !executableOf(pid).isEmpty();
}

void end(qint64 pid)
{
    ::kill(pid_t(pid), SIGKILL);
}

} // namespace TestProcesses
