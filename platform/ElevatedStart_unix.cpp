#include "ElevatedStart.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace ElevatedStart {

// The Linux counterpart of the shell's "runas": the downloaded file is made
// executable for its owner and started through pkexec, which asks for the
// administrator's password. Like a refused prompt on Windows, every failure
// (missing file, no pkexec, refused start) passes without a trace.
void start(const QString &file, const QString &workingDirectory)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return;

    QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner | QFile::ExeUser);

    if (::geteuid() == 0) {
        QProcess::startDetached(file, QStringList(), workingDirectory);
        return;
    }

    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty())
        return;
    // Without --keep-cwd pkexec changes to the target user's home, and the
    // installer would not start in the folder it was given.
    QProcess::startDetached(pkexec, QStringList{QStringLiteral("--keep-cwd"), info.absoluteFilePath()},
                            workingDirectory);
}

} // namespace ElevatedStart
