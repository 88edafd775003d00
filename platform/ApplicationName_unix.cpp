#include "ApplicationName.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

namespace ApplicationName {

void followExecutableFile()
{
    // applicationFilePath() resolves /proc/self/exe, so symlinks and argv[0]
    // do not count.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    if (!name.isEmpty())
        QCoreApplication::setApplicationName(name);
}

QString executableFilePath()
{
    // What applicationFilePath() does on Linux. It would fall back to argv[0]
    // without /proc, which no Linux this runs on lacks.
    const QFileInfo link(QStringLiteral("/proc/%1/exe").arg(::getpid()));
    if (link.exists() && link.isSymLink())
        return link.canonicalFilePath();
    return QString();
}

} // namespace ApplicationName
