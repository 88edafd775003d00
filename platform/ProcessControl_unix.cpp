#include "ProcessControl.h"

#include <QFile>
#include <QString>

#include <climits>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace ProcessControl {

QString executablePath(qint64 pid)
{
    if (pid <= 0)
        return QString();
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    if (length <= 0)
        return QString();
    QString path = QFile::decodeName(QByteArray(target, int(length)));
    // The link names a file that was replaced or removed since the process
    // started (an update) by its old path with this suffix; the process still
    // runs that path's program.
    static const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}

void terminate(qint64 pid)
{
    if (pid > 0)
        ::kill(pid_t(pid), SIGTERM);
}

} // namespace ProcessControl
