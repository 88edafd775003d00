#include "InstallerFile.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

InstallerFile::~InstallerFile()
{
    close();
}

bool InstallerFile::create(const QString &path)
{
    close();
    m_path.clear();
    // O_EXCL with O_CREAT refuses whatever is at the path, a link included,
    // so nothing another user planted there is followed or written to.
    const int fd
            = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
    if (fd < 0)
        return false;
    m_handle = fd;
    m_path = path;
    return true;
}

bool InstallerFile::write(const char *data, qint64 size)
{
    if (!isOpen())
        return false;
    while (size > 0) {
        const ssize_t n = ::write(int(m_handle), data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool InstallerFile::seal()
{
    if (!isOpen())
        return false;
    // A program cannot be started while a handle holds it open for writing:
    // the writing handle is traded for one that only reads, and the path must
    // still name the file that was written.
    const int reader = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat written;
    struct stat named;
    const bool same = reader >= 0 && ::fstat(int(m_handle), &written) == 0 && ::fstat(reader, &named) == 0
            && written.st_dev == named.st_dev && written.st_ino == named.st_ino;
    // Executable for the owner alone, set on the file itself, not by name.
    const bool executable = same && ::fchmod(int(m_handle), S_IRWXU) == 0;
    close();
    if (!executable) {
        if (reader >= 0)
            ::close(reader);
        return false;
    }
    m_handle = reader;
    return true;
}

qint64 InstallerFile::size() const
{
    struct stat held;
    if (!isOpen() || ::fstat(int(m_handle), &held) != 0)
        return -1;
    return held.st_size;
}

bool InstallerFile::withBytes(const std::function<void(const uchar *data, qint64 size)> &use) const
{
    const qint64 length = size();
    if (length < 0)
        return false;
    if (length == 0) {
        static const uchar nothing = 0;
        use(&nothing, 0);
        return true;
    }
    // Mapped rather than read: the pages come from the page cache as the
    // signature check walks over them (installers run to hundreds of MB).
    void *mapped = ::mmap(nullptr, size_t(length), PROT_READ, MAP_PRIVATE, int(m_handle), 0);
    if (mapped != MAP_FAILED) {
        use(static_cast<const uchar *>(mapped), length);
        ::munmap(mapped, size_t(length));
        return true;
    }
    // Qt reports an allocation that fails by throwing: a file that does not
    // fit in memory is one that cannot be read whole, not the program's end.
    QByteArray bytes;
    try {
        bytes = QByteArray(int(qMin<qint64>(length, 0x7fffffff)), Qt::Uninitialized);
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (bytes.size() != length)
        return false;
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(int(m_handle), bytes.data() + done, size_t(length - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    use(reinterpret_cast<const uchar *>(bytes.constData()), length);
    return true;
}

void InstallerFile::close()
{
    if (isOpen())
        ::close(int(m_handle));
    m_handle = kNone;
}

void InstallerFile::discard()
{
    close();
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_path.clear();
}
