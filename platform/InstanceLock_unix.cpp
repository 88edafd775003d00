#include "InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder only this user can write to: the session's runtime folder when it
// is usable, otherwise the temporary folder (the file name carries the uid).
QString lockFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        struct stat st;
        if (::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
            && (st.st_mode & 0022) == 0) {
            return QFile::decodeName(runtime);
        }
    }
    return QDir::tempPath();
}

} // namespace

InstanceLock::InstanceLock(const QString &id)
{
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(24);
    const QString path
            = lockFolder() + QStringLiteral("/orvalin-%1-%2.lock").arg(::geteuid()).arg(QString::fromLatin1(digest));

    // flock() rather than a lock file's content: the kernel drops the lock
    // when the holder dies, so neither a killed instance nor a long-running
    // one can be mistaken for the other. O_CLOEXEC keeps the converter that
    // the launcher starts from inheriting the lock.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd == -1) {
        // Nothing to lock against: better to run than to refuse to start.
        m_acquired = true;
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        // Someone else planted the file; its lock cannot be trusted either way.
        ::close(fd);
        m_acquired = true;
        return;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result == -1 && errno == EINTR);
    if (result == 0) {
        m_acquired = true;
        m_handle = fd;
    } else {
        ::close(fd);
    }
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it would let a newcomer lock a fresh file while
    // another still waits on the old one.
    if (m_handle != -1)
        ::close(int(m_handle));
}
