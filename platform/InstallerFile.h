#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// A downloaded installer, held open from its creation until its elevated
// start, so that what is checked is what gets started: the file is created
// anew (never an existing file or a link planted at its path), every byte goes
// through the one handle, and once written it is only read through that
// handle. On Windows the sealed file is held with sharing that lets other
// handles read it but not write, rename or delete it; on other systems the
// folder it lies in must be one only the user can change.
class InstallerFile
{
public:
    InstallerFile() = default;
    ~InstallerFile(); // releases the handle; the file stays
    InstallerFile(const InstallerFile &) = delete;
    InstallerFile &operator=(const InstallerFile &) = delete;

    // Creates `path` for writing. Fails when anything, even a dangling link,
    // is there already.
    bool create(const QString &path);
    bool isOpen() const { return m_handle != kNone; }
    QString path() const { return m_path; }

    bool write(const char *data, qint64 size);

    // Ends the writing. Fails when the path no longer names the file that was
    // written (it was swapped or removed meanwhile). Afterwards the file is
    // held for reading only and is executable for its owner.
    bool seal();
    // The size of the held file, -1 when it cannot be read.
    qint64 size() const;
    // Hands all bytes of the held file, read through its handle, to `use`
    // in one piece. False when they cannot be read whole.
    bool withBytes(const std::function<void(const uchar *data, qint64 size)> &use) const;

    // Releases the handle; the file stays.
    void close();
    // Releases the handle and removes the file it created.
    void discard();

private:
    static constexpr qintptr kNone = -1;
    qintptr m_handle = kNone; // a file descriptor, or a Windows HANDLE
    QString m_path;
};
