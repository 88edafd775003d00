#include "TestProcesses.h"

#include <QDeadlineTimer>
#include <QThread>

namespace TestProcesses {

bool endBelow(const QString &folder, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<Process> left = below(folder);
        if (left.isEmpty())
            return true;
        for (const Process &process : left)
            end(process.pid);
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace TestProcesses
