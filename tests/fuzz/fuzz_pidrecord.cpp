// lunach.ini as it may already lie in the converter folder (the input), then
// the launcher's write of its pid record over it.

#include "FuzzSupport.h"
#include "IniContent.h"
#include "PidRecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QVariant>

namespace {

QMap<QString, QVariant> contents(QSettings &settings)
{
    QMap<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, settings.value(key));
    return values;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = FuzzSupport::freshFolder();
    const QString path = folder + QStringLiteral("/lunach.ini");
    FUZZ_CHECK(FuzzSupport::writeFile(path, reinterpret_cast<const char *>(data), size));

    // Entries that QSettings cannot decode safely go; the record keeps every
    // other one. What it held is read from a copy without them.
    const QByteArray kept
            = IniContent::withoutUnsafeValues(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    FUZZ_CHECK(IniContent::withoutUnsafeValues(kept) == kept);
    const QString keptPath = folder + QStringLiteral("/kept.ini");
    FUZZ_CHECK(FuzzSupport::writeFile(keptPath, kept.constData(), size_t(kept.size())));
    QMap<QString, QVariant> before;
    {
        QSettings old(keptPath, QSettings::IniFormat);
        before = contents(old);
    }
    const qint64 pid = QCoreApplication::applicationPid();
    {
        QSettings record(path, QSettings::IniFormat);
        PidRecord::write(record, pid);
        FUZZ_CHECK(record.status() != QSettings::AccessError);
    }

    // The converter reads the pid back from the file; the rest of the file
    // keeps what it held.
    QSettings written(path, QSettings::IniFormat);
    FUZZ_CHECK(written.status() == QSettings::NoError);
    FUZZ_CHECK(PidRecord::read(path) == pid);
    // QSettings lists a key written with a stray separator (\lunach in
    // [core]) as "core//lunach" but looks it up as "core/lunach": such aliases
    // of the pid's key follow the pid's value.
    const auto withoutPidKey = [](QMap<QString, QVariant> values) {
        for (auto it = values.begin(); it != values.end();) {
            const QString key = it.key().split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
            it = key == QLatin1String("core/lunach") ? values.erase(it) : it + 1;
        }
        return values;
    };
    FUZZ_CHECK(withoutPidKey(contents(written)) == withoutPidKey(before));

    FuzzSupport::removeFolder(folder);
    return 0;
}
