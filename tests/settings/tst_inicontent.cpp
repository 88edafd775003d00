#include "IniContent.h"
#include "SafeIniFile.h"
#include "TestFiles.h"

#include <QDataStream>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTimeZone>
#include <QUrl>
#include <QtTest>

using namespace TestFiles;

namespace {

// An entry whose value claims a list of four billion variants: QSettings
// would reserve room for all of them and abort.
const QByteArray hugeList = "@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)";

} // namespace

class tst_IniContent : public QObject
{
    Q_OBJECT

private slots:
    void unsafeEntriesGoOthersStay_data();
    void unsafeEntriesGoOthersStay();
    void valuesWrittenByQSettingsStay();
    void streamsOfBothVersions();
    void readCopyAndCleanInPlace();
};

void tst_IniContent::unsafeEntriesGoOthersStay_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("kept");

    const QByteArray plain = "[Install]\nVersion=8.9.1.0\nUrlName=orvalinpdf\n";
    QTest::newRow("plain values") << plain << plain;
    const QByteArray mentions = "[note]\ntext=see @Variant(x) docs\nother=@Variant(x) \\\n";
    QTest::newRow("text that only mentions the marker") << mentions << mentions;
    const QByteArray others = "a=@ByteArray(x)\nb=@@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nc=x, @@Variant(1)\n";
    QTest::newRow("other markers") << others << others;

    const QByteArray loneBackslash = "b=y\na=" + hugeList + " \\";
    QTest::newRow("lone backslash keeps the space") << loneBackslash << loneBackslash;

    QTest::newRow("damaged value") << "[core]\r\nlunach=1\r\n[extra]\r\nkey=" + hugeList + "\r\nafter=2\r\n"
                                   << QByteArray("[core]\r\nlunach=1\r\n[extra]\r\nafter=2\r\n");
    QTest::newRow("damaged element of a list") << "a=x, " + hugeList + "\nb=y\n" << QByteArray("b=y\n");
    QTest::newRow("quoted") << "a=\"" + hugeList + "\"\nb=y\n" << QByteArray("b=y\n");
    QTest::newRow("hex escape") << QByteArray("a=\\x40Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nb=y\n")
                                << QByteArray("b=y\n");
    QTest::newRow("octal escape") << QByteArray("a=\\100Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nb=y\n")
                                  << QByteArray("b=y\n");
    QTest::newRow("continued line") << QByteArray("a=@Var\\\r\niant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nb=y\n")
                                    << QByteArray("b=y\n");
    QTest::newRow("date and time stream")
            << QByteArray("a=@DateTime(\\0\\0\\0\\v\\0\\xff\\xff\\xff\\xff)\nb=y\n") << QByteArray("b=y\n");
    QTest::newRow("before a comment") << "a=" + hugeList + " ; why\nb=y\n" << QByteArray("; why\nb=y\n");

    // Nested lists deeper than any setting: Qt would recurse once per level.
    QByteArray deep = "a=@Variant(";
    for (int i = 0; i < 40; ++i)
        deep += "\\0\\0\\0\\t\\0\\0\\0\\x1";
    deep += "\\0\\0\\0\\x2\\0\\0\\0\\0)\nb=y\n";
    QTest::newRow("nesting without bound") << deep << QByteArray("b=y\n");
    QByteArray shallow = "a=@Variant(";
    for (int i = 0; i < 4; ++i)
        shallow += "\\0\\0\\0\\t\\0\\0\\0\\x1";
    shallow += "\\0\\0\\0\\x2\\0\\0\\0\\0)\nb=y\n";
    QTest::newRow("nesting as settings have it") << shallow << shallow;

    // A QPolygon: its points are reserved before they are read.
    QTest::newRow("type not known to be safe")
            << QByteArray("a=@Variant(\\0\\0\\0G\\0\\0\\0\\0)\nb=y\n") << QByteArray("b=y\n");
    QTest::newRow("value cut short") << QByteArray("a=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x10\\0\\x41)\nb=y\n")
                                     << QByteArray("b=y\n");
}

void tst_IniContent::unsafeEntriesGoOthersStay()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, kept);
    QCOMPARE(IniContent::withoutUnsafeValues(content), kept);
}

// Whatever QSettings itself stores, through QDataStream or not, is kept byte
// for byte and reads back as it was written.
void tst_IniContent::valuesWrittenByQSettingsStay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/written.ini";
    QVariantMap map;
    map.insert("list", QVariantList{1, QString("two"), QVariantList{3.5, QByteArray("\0\xff", 2)}});
    map.insert("when",
               QVariantList{QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::OffsetFromUTC, -3600),
                            QDateTime(QDate(2026, 12, 9), QTime(12, 0), QTimeZone("Asia/Shanghai")), 7});
    map.insert("text", QString::fromUtf8("引号 \"@Variant(\\x40)\""));
    const QVariantMap values{
            {"core/lunach", "4712"},
            {"note/text", "see @Variant(x) docs"},
            {"note/odd", QString::fromUtf8("@Variant(\"引号\", \\x40) \t\n")},
            {"note/list", QStringList{"@Variant(x)", "@@", "y"}},
            {"typed/url", QUrl("https://example.org/a b?c=d#e")},
            {"typed/date", QDate(2026, 12, 9)},
            {"typed/time", QTime(12, 41, 13, 5)},
            {"typed/dateTime", QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8), Qt::OffsetFromUTC, 28800)},
            {"typed/utc", QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC)},
            {"typed/map", map},
            {"typed/size", QSizeF(1.5, 2.5)},
            {"typed/float", 0.25f},
            {"typed/bytes", QByteArray("\x01\x02@Variant(", 11)},
            {"typed/long", QVariant::fromValue<long>(-5)},
    };
    {
        QSettings settings(path, QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            settings.setValue(it.key(), it.value());
    }
    const QByteArray content = readFile(path);
    QVERIFY(content.contains("@Variant("));
    QCOMPARE(IniContent::withoutUnsafeValues(content), content);

    const SafeIniFile file(path);
    QCOMPARE(file.path(), path);
    QSettings settings(file.path(), QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        QCOMPARE(settings.value(it.key()), it.value());
}

// QSettings reads @Variant( with the stream version of Qt 4.0 and
// @DateTime( with that of Qt 5.6: a value of either walks to its end, and
// the same value cut short is refused.
void tst_IniContent::streamsOfBothVersions()
{
    const QVariant value = QVariantList{
            QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::OffsetFromUTC, -3600),
            QDateTime(QDate(2026, 12, 9), QTime(12, 0), QTimeZone("Asia/Shanghai")),
            QDateTime(QDate(2026, 12, 9), QTime(12, 0), QTimeZone(19800)),
            QDate(2026, 12, 9),
            QVariantMap{{"k", QStringList{"a", "b"}}},
            QVariant(),
            float(0.5),
            QVariantList{QUrl("https://example.org/"), QByteArray()},
    };
    for (const int version : {int(QDataStream::Qt_4_0), int(QDataStream::Qt_5_6)}) {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(version);
        stream << value;
        QVERIFY2(IniContent::isSafeVariantStream(bytes, version), qPrintable(QString::number(version)));
        bytes.chop(1);
        QVERIFY2(!IniContent::isSafeVariantStream(bytes, version), qPrintable(QString::number(version)));
    }
}

// config.ini and convert.ini are read through a copy without the damaged
// entries and stay untouched; the pid record is cleaned where it lies.
void tst_IniContent::readCopyAndCleanInPlace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = dir.path() + "/config.ini";
    // gb2312 for 安装: the check runs on the decoded text, as QSettings does.
    const QByteArray content = "[Install]\nVersion=" + hugeList + "\nUrlName=orvalinpdf\nSetupName=\xb0\xb2\xd7\xb0\n";
    QVERIFY(writeFile(config, content));
    QTextCodec *gb2312 = QTextCodec::codecForName("gb2312");
    QVERIFY(gb2312);
    {
        const SafeIniFile file(config, gb2312);
        QVERIFY(file.path() != config);
        QSettings settings(file.path(), QSettings::IniFormat);
        settings.setIniCodec(gb2312);
        QCOMPARE(settings.value("Install/Version"), QVariant());
        QCOMPARE(settings.value("Install/UrlName").toString(), QString("orvalinpdf"));
        QCOMPARE(settings.value("Install/SetupName").toString(), QString::fromUtf8("安装"));
    }
    QCOMPARE(readFile(config), content);

    QVERIFY(SafeIniFile::cleanInPlace(config));
    QCOMPARE(readFile(config), QByteArray("[Install]\nUrlName=orvalinpdf\nSetupName=\xb0\xb2\xd7\xb0\n"));
    QVERIFY(SafeIniFile::cleanInPlace(dir.path() + "/missing.ini"));
    QVERIFY(!QFile::exists(dir.path() + "/missing.ini"));
}

QTEST_GUILESS_MAIN(tst_IniContent)
#include "tst_inicontent.moc"
