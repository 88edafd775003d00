#pragma once

#include <QString>

class QSettings;

// The record through which the converter finds the launcher's process id: the
// file "lunach.ini" in the converter's per-user folder, [core] lunach=<pid>.
class PidRecord
{
public:
    // The record of this process: in the converter's per-user folder, named
    // after the launcher's configuration location (UserFolders) followed by
    // "Converter", as file "lunach.ini".
    static QString filePath();

    // Sets [core] lunach to `pid` in decimal, keeping everything else in the
    // file, and writes it to disk before returning.
    static void write(QSettings &record, qint64 pid);

    // The pid that [core] lunach of the record at `path` holds, or 0 when the
    // file is missing or the value is not a positive decimal number. Damaged
    // entries elsewhere in the file are not decoded (SafeIniFile).
    static qint64 read(const QString &path);
};
