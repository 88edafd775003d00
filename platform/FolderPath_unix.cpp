#include "FolderPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace FolderPath {

namespace {

// Others may write to the folder without the sticky bit that keeps their
// hands off entries they do not own.
bool othersMayReplaceEntries(const struct stat &st)
{
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0;
}

// `path` (absolute, cleaned) and every folder above it.
bool chainIsSafe(const QString &path)
{
    const uid_t user = ::geteuid();
    QString dir = path;
    bool first = true;
    for (;;) {
        struct stat st;
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
        if (first ? st.st_uid != user : (st.st_uid != user && st.st_uid != 0))
            return false;
        if (othersMayReplaceEntries(st))
            return false;
        if (dir == QLatin1String("/"))
            return true;
        dir = QFileInfo(dir).path();
        first = false;
    }
}

} // namespace

QString join(const QString &folder, const QString &fileName)
{
    return folder + QLatin1Char('/') + fileName;
}

bool onlyUserCanChange(const QString &folder)
{
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return false;
    // As written, each link on the way lies in a folder that is checked; with
    // links resolved, the folders the file really goes to are.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && chainIsSafe(QDir::cleanPath(folder)) && chainIsSafe(canonical);
}

} // namespace FolderPath
