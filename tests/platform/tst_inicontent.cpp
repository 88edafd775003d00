#include "IniContent.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_IniContent : public QObject
{
    Q_OBJECT

private slots:
    void serializedVariants_data();
    void serializedVariants();
    void filesWrittenByQSettings();
};

void tst_IniContent::serializedVariants_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("flagged");

    QTest::newRow("plain values") << QByteArray("[Install]\nVersion=8.9.1.0\nUrlName=orvalinpdf\n") << false;
    QTest::newRow("other markers") << QByteArray("a=@ByteArray(x)\nb=@@Variant(x)\nc=@Rect(1 2 3 4)\n") << false;
    QTest::newRow("escapes without the marker") << QByteArray("a=C:\\\\Setup\\x41\\101\n") << false;
    QTest::newRow("marker") << QByteArray("[Install]\nVersion=@Variant(\\0\\0\\0\\x9\\xff)\n") << true;
    QTest::newRow("quoted marker") << QByteArray("a=\"@Variant(\\0)\"\n") << true;
    QTest::newRow("marker in a list") << QByteArray("a=x, @Variant(\\0)\n") << true;
    QTest::newRow("hex escape") << QByteArray("a=\\x40Variant(\\0)\n") << true;
    QTest::newRow("hex escape past 16 bits") << QByteArray("a=\\x10040Variant(\\0)\n") << true;
    QTest::newRow("octal escape") << QByteArray("a=\\100Variant(\\0)\n") << true;
    QTest::newRow("dropped escape") << QByteArray("a=\\q@Variant(\\0)\n") << true;
    QTest::newRow("quotes inside") << QByteArray("a=\"@\"Var\"iant(\\0)\n") << true;
    QTest::newRow("continued line") << QByteArray("a=@Var\\\r\niant(\\0)\n") << true;
}

void tst_IniContent::serializedVariants()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, flagged);
    QCOMPARE(IniContent::mayHoldSerializedVariant(content), flagged);
}

// The guard must not take ordinary settings for damaged ones, whatever the
// strings hold; a value QSettings itself stores through QDataStream is flagged.
void tst_IniContent::filesWrittenByQSettings()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/written.ini";
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("core/lunach", "4712");
        settings.setValue("Setting/updatedir", "D:\\Setup\\");
        settings.setValue("odd/text", QString::fromUtf8("@Variant(\"引号\", \\x40) \t\n"));
    }
    QVERIFY(!IniContent::fileMayHoldSerializedVariant(path));
    QVERIFY(!IniContent::fileMayHoldSerializedVariant(dir.path() + "/missing.ini"));
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("odd/date", QDate(2026, 12, 9));
    }
    QVERIFY(IniContent::fileMayHoldSerializedVariant(path));
}

QTEST_GUILESS_MAIN(tst_IniContent)
#include "tst_inicontent.moc"
