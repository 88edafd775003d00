#include "PidRecord.h"

#include "SafeIniFile.h"
#include "UserFolders.h"

#include <QSettings>

QString PidRecord::filePath()
{
    return UserFolders::base() + QStringLiteral("Converter/lunach.ini");
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

qint64 PidRecord::read(const QString &path)
{
    // The reader must not rewrite a record the launcher may be writing: it
    // reads a cleaned copy instead.
    const SafeIniFile file(path);
    if (file.path().isEmpty())
        return 0;
    const QSettings record(file.path(), QSettings::IniFormat);
    bool ok = false;
    const qint64 pid = record.value(QStringLiteral("core/lunach")).toString().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}
