#include "PidRecord.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class tst_PidRecord : public QObject
{
    Q_OBJECT

private slots:
    void converterFolder_data();
    void converterFolder();
    void writeKeepsOtherEntries();
    void damagedEntryGoesOthersStay();
};

void tst_PidRecord::converterFolder_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("folder");
    QTest::newRow("shipped name") << "/home/u/.config/orvalinpdfLaunch"
                                  << "/home/u/.config/orvalinpdfConverter";
    QTest::newRow("counts characters, not names") << "/x/launcher"
                                                  << "/x/laConverter";
    QTest::newRow("cut crosses a separator") << "/ab/cdefg"
                                             << "/abConverter";
    QTest::newRow("shorter than the cut stays whole") << "/a/bc"
                                                      << "/a/bcConverter";
    QTest::newRow("exactly the cut") << "/abcde"
                                     << "Converter";
    QTest::newRow("empty") << ""
                           << "Converter";
}

void tst_PidRecord::converterFolder()
{
    QFETCH(QString, location);
    QFETCH(QString, folder);
    QCOMPARE(PidRecord::converterFolder(location), folder);
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

QTEST_GUILESS_MAIN(tst_PidRecord)
#include "tst_pidrecord.moc"
