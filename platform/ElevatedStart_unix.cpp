#include "ElevatedStart.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace ElevatedStart {

namespace {

// pkexec learnt --keep-cwd in polkit 121; an older one takes the option for
// the program's name and starts nothing. It prints "pkexec version 0.105"
// or "pkexec version 121".
bool keepsWorkingDirectory(const QString &pkexec)
{
    QProcess version;
    version.start(pkexec, QStringList{QStringLiteral("--version")}, QIODevice::ReadOnly);
    if (!version.waitForFinished(10000)) {
        version.kill();
        version.waitForFinished();
        return false;
    }
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("version\\s+(\\d+)"))
                                                  .match(QString::fromLatin1(version.readAllStandardOutput()));
    return match.hasMatch() && match.captured(1).toInt() >= 121;
}

} // namespace

// The Linux counterpart of the shell's "runas": the downloaded file (made
// executable for its owner when it was written) is started through pkexec,
// which asks for the administrator's password. Like a refused prompt on
// Windows, every failure (missing file, no pkexec, refused start) passes
// without a trace.
void start(const QString &file, const QString &workingDirectory)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return;

    if (::geteuid() == 0) {
        QProcess::startDetached(file, QStringList(), workingDirectory);
        return;
    }

    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty())
        return;
    // Without --keep-cwd pkexec changes to the target user's home, and the
    // installer does not start in the folder it was given; an older pkexec
    // still starts it there.
    QStringList arguments{info.absoluteFilePath()};
    if (keepsWorkingDirectory(pkexec))
        arguments.prepend(QStringLiteral("--keep-cwd"));
    QProcess::startDetached(pkexec, arguments, workingDirectory);
}

} // namespace ElevatedStart
