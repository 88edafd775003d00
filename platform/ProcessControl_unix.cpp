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
    return QFile::decodeName(QByteArray(target, int(length)));
}

void terminate(qint64 pid)
{
    if (pid > 0)
        ::kill(pid_t(pid), SIGTERM);
}

} // namespace ProcessControl
