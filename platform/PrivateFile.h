#pragma once

class QFile;
class QString;

// Files for the current user's eyes only, such as the publisher's secret
// signing key.
namespace PrivateFile {

// Creates `path`, which must not exist yet (an existing file or link there is
// never opened), so that from its first moment only the current user can read
// or change it, and opens `file` on it for writing. On Unix its mode is 0600;
// on Windows its access list names the user alone and inherits nothing from
// the folder.
bool create(QFile &file, const QString &path, QString *error);

// Opens `path` for reading when it is the current user's own and nobody else
// may read it. On Unix that is a regular file owned by the user that grants
// group and others nothing; it is checked on the opened file, so a file
// swapped in after the check is never read. On Windows the file is opened as
// it is.
bool openOwn(QFile &file, const QString &path, QString *error);

} // namespace PrivateFile
