#include "SharedSegment.h"
#include "TestWait.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

// Whether the segment another process created is left over, against a real
// creator that ends or is killed. The segment's key is the test's own; its
// key files go to a temporary folder of the test (the System V objects to
// the test's own IPC namespace, see CMakeLists.txt).
class tst_SharedSegment : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void creatorAlive();
    void creatorKilled();

private:
    // Starts the other process, which creates the segment.
    void startCreator(QProcess &creator);

    QTemporaryDir m_tmp;
    QString m_key;
    int m_round = 0;
};

void tst_SharedSegment::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
}

void tst_SharedSegment::init()
{
    m_key = QStringLiteral("tst_sharedsegment-%1-%2").arg(QCoreApplication::applicationPid()).arg(++m_round);
}

void tst_SharedSegment::cleanup()
{
    QSharedMemory leftover(m_key);
    if (leftover.attach())
        leftover.detach();
}

void tst_SharedSegment::startCreator(QProcess &creator)
{
    creator.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--create"), m_key});
    QVERIFY(creator.waitForReadyRead(TestWait::kWait));
    QCOMPARE(creator.readLine(), QByteArray("created\n"));
}

void tst_SharedSegment::creatorAlive()
{
    QProcess creator;
    startCreator(creator);
    QSharedMemory segment(m_key);
    QVERIFY(!SharedSegment::isOrphaned(segment)); // not attached
    QVERIFY(segment.attach());
    QVERIFY(!SharedSegment::isOrphaned(segment));

    // The creator detaches as it ends: only this process keeps it now.
    creator.closeWriteChannel();
    QVERIFY(creator.waitForFinished(TestWait::kWait));
    QCOMPARE(creator.exitStatus(), QProcess::NormalExit);
    QVERIFY(SharedSegment::isOrphaned(segment));
}

void tst_SharedSegment::creatorKilled()
{
    QProcess creator;
    startCreator(creator);
    creator.kill();
    QVERIFY(creator.waitForFinished(TestWait::kWait));

    // The segment outlives its creator; once attached it is known as left
    // over, and the last detach removes it.
    QSharedMemory segment(m_key);
    QVERIFY(segment.attach());
    QVERIFY(SharedSegment::isOrphaned(segment));
    QVERIFY(segment.detach());
    QVERIFY(!QSharedMemory(m_key).attach());
}

// With "--create <key>" this program is the creator: it creates the segment,
// says so, and keeps it until its input closes.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--create") == 0) {
        QSharedMemory segment(QString::fromLocal8Bit(argv[2]));
        std::puts(segment.create(1024) ? "created" : "failed");
        std::fflush(stdout);
        while (std::getchar() != EOF) {}
        return 0;
    }
    tst_SharedSegment test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sharedsegment.moc"
