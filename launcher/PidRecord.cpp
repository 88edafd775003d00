#include "PidRecord.h"

#include "SafeIniFile.h"

#include <QSettings>
#include <QStandardPaths>

QString PidRecord::converterFolder(const QString &configLocation)
{
    QString folder = configLocation;
    if (folder.size() >= 6)
        folder.chop(6);
    return folder + QStringLiteral("Converter");
}

QString PidRecord::filePath()
{
    return converterFolder(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
            + QStringLiteral("/lunach.ini");
}

void PidRecord::write(QSettings &record, qint64 pid)
{
    // Merging the new value into a record with a damaged value would make
    // QSettings decode it, which can abort the launcher on every start: that
    // entry goes, the others stay. QSettings has only split the file into
    // sections so far and reads it again when it writes.
    SafeIniFile::cleanInPlace(record.fileName());

    record.beginGroup(QStringLiteral("core"));
    record.setValue(QStringLiteral("lunach"), QString::number(pid, 10));
    record.endGroup();
    // The converter is restarted right after and looks for this value.
    record.sync();
}
