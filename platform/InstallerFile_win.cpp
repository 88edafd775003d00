#include "InstallerFile.h"

#include <QByteArray>
#include <QDir>

#include <new>

#include <windows.h>

namespace {

HANDLE handleOf(qintptr value)
{
    return reinterpret_cast<HANDLE>(value);
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

HANDLE openForReading(const QString &path, DWORD sharing)
{
    // FILE_FLAG_OPEN_REPARSE_POINT: a link put at the path is opened as
    // itself and then differs from the file that was written.
    return CreateFileW(nativePath(path).c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool sameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x;
    BY_HANDLE_FILE_INFORMATION y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y)
            && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh
            && x.nFileIndexLow == y.nFileIndexLow;
}

} // namespace

InstallerFile::~InstallerFile()
{
    close();
}

bool InstallerFile::create(const QString &path)
{
    close();
    m_path.clear();
    // CREATE_NEW refuses whatever is at the path, a link included. While it
    // is written, others may read the file but not write, rename or delete it.
    const HANDLE file = CreateFileW(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    m_handle = reinterpret_cast<qintptr>(file);
    m_path = path;
    return true;
}

bool InstallerFile::write(const char *data, qint64 size)
{
    if (!isOpen())
        return false;
    while (size > 0) {
        const DWORD piece = DWORD(qMin<qint64>(size, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool InstallerFile::seal()
{
    if (!isOpen())
        return false;
    // The shell cannot start a file that a handle holds open for writing, so
    // the writing handle is traded for one that only reads, without a moment
    // in which the file could be renamed or deleted: a first reader shares
    // writing with the writer, and once the writer is gone a second reader
    // denies it. Every handle denies deleting and renaming.
    const HANDLE writer = handleOf(m_handle);
    const HANDLE bridge = openForReading(m_path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (bridge == INVALID_HANDLE_VALUE)
        return false;
    if (!sameFile(writer, bridge)) {
        CloseHandle(bridge);
        return false;
    }
    CloseHandle(writer);
    m_handle = kNone;
    const HANDLE held = openForReading(m_path, FILE_SHARE_READ);
    const bool same = held != INVALID_HANDLE_VALUE && sameFile(bridge, held);
    CloseHandle(bridge);
    if (!same) {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        return false;
    }
    m_handle = reinterpret_cast<qintptr>(held);
    return true;
}

qint64 InstallerFile::size() const
{
    LARGE_INTEGER length;
    if (!isOpen() || !GetFileSizeEx(handleOf(m_handle), &length))
        return -1;
    return length.QuadPart;
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
    // Mapped rather than read: the pages come from the cache as the signature
    // check walks over them (installers run to hundreds of MB).
    if (const HANDLE mapping = CreateFileMappingW(handleOf(m_handle), nullptr, PAGE_READONLY, 0, 0, nullptr)) {
        const void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        CloseHandle(mapping);
        if (view) {
            use(static_cast<const uchar *>(view), length);
            UnmapViewOfFile(view);
            return true;
        }
    }
    // A 32-bit address space too fragmented for one view: read it whole.
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
        OVERLAPPED at = {};
        at.Offset = DWORD(done & 0xffffffff);
        at.OffsetHigh = DWORD(quint64(done) >> 32);
        DWORD read = 0;
        if (!ReadFile(handleOf(m_handle), bytes.data() + done, DWORD(qMin<qint64>(length - done, 1 << 30)), &read, &at)
            || read == 0)
            return false;
        done += read;
    }
    use(reinterpret_cast<const uchar *>(bytes.constData()), length);
    return true;
}

void InstallerFile::close()
{
    if (isOpen())
        CloseHandle(handleOf(m_handle));
    m_handle = kNone;
}

void InstallerFile::discard()
{
    close();
    if (!m_path.isEmpty())
        DeleteFileW(nativePath(m_path).c_str());
    m_path.clear();
}
