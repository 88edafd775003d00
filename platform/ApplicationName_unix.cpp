#include "ApplicationName.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ApplicationName {

void followExecutableFile()
{
    // applicationFilePath() resolves /proc/self/exe, so symlinks and argv[0]
    // do not count.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    if (!name.isEmpty())
        QCoreApplication::setApplicationName(name);
}

} // namespace ApplicationName
