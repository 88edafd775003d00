#include "PidRecord.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class tst_PidRecord : public QObject
{
    Q_OBJECT

private slots:
    void filePathIsInTheConvertersFolder();
    void writeKeepsOtherEntries();
    void damagedEntryGoesOthersStay();
    void readGivesThePidOrNothing();
};

// The launcher's record lies where the converter, named orvalinpdfConverter,
// keeps its own files.
void tst_PidRecord::filePathIsInTheConvertersFolder()
{
    QCoreApplication::setApplicationName(QStringLiteral("orvalinpdfLaunch"));
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QVERIFY2(location.endsWith(QLatin1String("/orvalinpdfLaunch")), qPrintable(location));
    QCOMPARE(PidRecord::filePath(), location.chopped(6) + QStringLiteral("Converter/lunach.ini"));
}

void tst_PidRecord::writeKeepsOtherEntries()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/new/folders/lunach.ini";
    {
        QSettings seed(path, QSettings::IniFormat);
        seed.setValue("core/lunach", "1");
        seed.setValue("core/other", "kept");
        seed.setValue("extra/key", "value");
    }
    {
        QSettings record(path, QSettings::IniFormat);
        PidRecord::write(record, 4712);
        // On disk before the settings object goes: the converter reads it
        // while the launcher still holds the object.
        QSettings reader(path, QSettings::IniFormat);
        QCOMPARE(reader.value("core/lunach").toString(), QString("4712"));
    }
    QSettings reader(path, QSettings::IniFormat);
    QCOMPARE(reader.value("core/other").toString(), QString("kept"));
    QCOMPARE(reader.value("extra/key").toString(), QString("value"));
}

// A record holding a value that QSettings would decode through QDataStream
// (here a list claiming four billion entries) used to abort every start, and
// later cost the record every other entry. Only that entry may go.
void tst_PidRecord::damagedEntryGoesOthersStay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/lunach.ini";
    {
        QSettings seed(path, QSettings::IniFormat);
        seed.setValue("core/lunach", "1");
        seed.setValue("note/text", "see @Variant(x) docs");
        seed.setValue("note/url", QUrl("https://example.org/"));
    }
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::Append));
    damaged.write("[extra]\nkey=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nafter=2\n");
    damaged.close();
    {
        QSettings record(path, QSettings::IniFormat);
        PidRecord::write(record, 4712);
    }
    QSettings reader(path, QSettings::IniFormat);
    QCOMPARE(reader.allKeys(), (QStringList{"core/lunach", "extra/after", "note/text", "note/url"}));
    QCOMPARE(reader.value("core/lunach").toString(), QString("4712"));
    QCOMPARE(reader.value("note/text").toString(), QString("see @Variant(x) docs"));
    QCOMPARE(reader.value("note/url"), QVariant(QUrl("https://example.org/")));
    QCOMPARE(reader.value("extra/after").toString(), QString("2"));
}

// What the converter reads back: the pid, even beside a damaged value in its
// section (which reading the pid would make QSettings decode, and which the
// reader must leave in the file), and 0 for anything else.
void tst_PidRecord::readGivesThePidOrNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/lunach.ini";
    QCOMPARE(PidRecord::read(path), 0);
    {
        QSettings record(path, QSettings::IniFormat);
        PidRecord::write(record, 4712);
    }
    QCOMPARE(PidRecord::read(path), 4712);

    QFile file(path);
    const auto store = [&file](const QByteArray &content) {
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
                && (file.close(), true);
    };
    // Lists nested far deeper than any setting: Qt would recurse once per
    // level until the stack runs out.
    QByteArray damaged = "[core]\nlunach=4713\nkey=@Variant(";
    for (int i = 0; i < 100000; ++i)
        damaged += "\\0\\0\\0\\t\\0\\0\\0\\x1";
    damaged += "\\0\\0\\0\\x2\\0\\0\\0\\0)\n";
    QVERIFY(store(damaged));
    QCOMPARE(PidRecord::read(path), 4713);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), damaged);
    file.close();

    for (const char *value : {"0", "-5", "12ab", ""}) {
        QVERIFY(store(QByteArray("[core]\nlunach=") + value + "\n"));
        QVERIFY2(PidRecord::read(path) == 0, value);
    }
}

QTEST_GUILESS_MAIN(tst_PidRecord)
#include "tst_pidrecord.moc"
