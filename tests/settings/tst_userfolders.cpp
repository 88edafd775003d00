#include "UserFolders.h"

#include <QtTest>

class tst_UserFolders : public QObject
{
    Q_OBJECT

private slots:
    void base_data();
    void base();
};

void tst_UserFolders::base_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("base");
    QTest::newRow("shipped name") << "/home/u/.config/orvalinpdfLaunch"
                                  << "/home/u/.config/orvalinpdf";
    QTest::newRow("counts characters, not names") << "/x/launcher"
                                                  << "/x/la";
    QTest::newRow("cut crosses a separator") << "/ab/cdefg"
                                             << "/ab";
    QTest::newRow("shorter than the cut stays whole") << "/a/bc"
                                                      << "/a/bc";
    QTest::newRow("exactly the cut") << "/abcde"
                                     << "";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_UserFolders::base()
{
    QFETCH(QString, location);
    QFETCH(QString, base);
    QCOMPARE(UserFolders::base(location), base);
}

QTEST_GUILESS_MAIN(tst_UserFolders)
#include "tst_userfolders.moc"
