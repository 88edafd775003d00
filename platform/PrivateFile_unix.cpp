#include "PrivateFile.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool adopt(QFile &file, int fd, QIODevice::OpenMode mode)
{
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

} // namespace

bool create(QFile &file, const QString &path, QString *error)
{
    // The umask can only take bits away from 0600.
    const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || !adopt(file, fd, QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, lastError());
        return false;
    }
    return true;
}

bool openOwn(QFile &file, const QString &path, QString *error)
{
    // Not blocking on a FIFO: the checks below refuse it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, lastError());
        return false;
    }
    struct stat st;
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = QStringLiteral("cannot read %1: %2").arg(path, lastError());
    else if (!S_ISREG(st.st_mode))
        refusal = QStringLiteral("%1 is not a regular file").arg(path);
    else if (st.st_uid != ::geteuid())
        refusal = QStringLiteral("%1 belongs to another user; use a key file of your own").arg(path);
    else if ((st.st_mode & 077) != 0)
        refusal = QStringLiteral("%1 is open to group or others (mode %2); make it yours alone: chmod 600 %1")
                          .arg(path, QString::number(st.st_mode & 0777, 8).rightJustified(4, QLatin1Char('0')));
    if (!refusal.isEmpty()) {
        ::close(fd);
        *error = refusal;
        return false;
    }
    if (!adopt(file, fd, QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    return true;
}

} // namespace PrivateFile
