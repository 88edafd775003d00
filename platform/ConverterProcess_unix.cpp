#include "ConverterProcess.h"

#include "ProcessControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QThread>
#include <QVector>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The file name of the executable a process runs, or an empty string when it
// cannot be read: the process is gone, is a zombie (its exe link is unreadable
// then), or belongs to someone we may not inspect. A converter whose file has
// been replaced (an update) still counts.
QString executableFileName(pid_t pid)
{
    return QFileInfo(ProcessControl::executablePath(pid)).fileName();
}

QVector<pid_t> processesOfThisUserRunning(const QString &imageName)
{
    QVector<pid_t> found;
    const uid_t me = ::geteuid();
    const pid_t self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric || pid <= 0 || pid == self)
            continue;
        struct stat st;
        if (::stat(QByteArray("/proc/" + entry.toLatin1()).constData(), &st) != 0 || st.st_uid != me)
            continue;
        if (executableFileName(pid) == imageName)
            found.append(pid);
    }
    return found;
}

} // namespace

namespace ConverterProcess {

void killByImageName(const QString &imageName)
{
    QVector<pid_t> targets = processesOfThisUserRunning(imageName);
    for (pid_t pid : qAsConst(targets))
        ::kill(pid, SIGKILL);

    // SIGKILL is delivered asynchronously; the caller starts a new converter
    // right after, which must not meet the old one. Bounded, so a process
    // stuck in the kernel cannot hang the launcher.
    QElapsedTimer waited;
    waited.start();
    while (!targets.isEmpty() && waited.elapsed() < 5000) {
        for (int i = targets.size() - 1; i >= 0; --i) {
            if (executableFileName(targets.at(i)) != imageName)
                targets.remove(i);
        }
        if (!targets.isEmpty())
            QThread::msleep(10);
    }
}

void start(const QString &executablePath)
{
    // The shell would not run a ".exe" here, so start the file itself,
    // detached so that it outlives the launcher.
    QProcess::startDetached(executablePath, QStringList(), QFileInfo(executablePath).absolutePath());
}

} // namespace ConverterProcess
