#pragma once

#include <QString>

class QSettings;

// The record through which the converter finds the launcher's process id: the
// file "lunach.ini" in the converter's per-user folder, [core] lunach=<pid>.
class PidRecord
{
public:
    // The converter's folder derived from the launcher's own configuration
    // location: the launcher's executable name ends in "Launch" where the
    // converter's ends in "Converter", so the last 6 characters are replaced.
    // A location shorter than that is kept whole.
    static QString converterFolder(const QString &configLocation);

    // converterFolder() of this process's writable configuration location,
    // followed by "/lunach.ini".
    static QString filePath();

    // Sets [core] lunach to `pid` in decimal, keeping everything else in the
    // file, and writes it to disk before returning.
    static void write(QSettings &record, qint64 pid);
};
