#include "ProcessControl.h"
#include "TestWait.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>

// Looking at and ending real processes: copies of sleep under a name with a
// space and Chinese in it. The test runs in a PID namespace of its own (see
// CMakeLists.txt), where the only other processes are those it starts.
class tst_ProcessControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void executablePathOfARunningAndAGoneProcess();
    void terminateEndsOnlyTheGivenProcess();

private:
    void startSleeper(QProcess &sleeper);

    QTemporaryDir m_dir;
    QString m_sleep;
};

void tst_ProcessControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sleep = QFileInfo(m_dir.path()).canonicalFilePath() + QString::fromUtf8("/睡 眠");
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), m_sleep));
}

void tst_ProcessControl::startSleeper(QProcess &sleeper)
{
    sleeper.start(m_sleep, {QStringLiteral("60")});
    QVERIFY(sleeper.waitForStarted(TestWait::kWait));
}

void tst_ProcessControl::executablePathOfARunningAndAGoneProcess()
{
    QProcess sleeper;
    startSleeper(sleeper);
    const qint64 pid = sleeper.processId();
    QCOMPARE(ProcessControl::executablePath(pid), m_sleep);
    sleeper.kill();
    QVERIFY(sleeper.waitForFinished(TestWait::kWait));
    QCOMPARE(ProcessControl::executablePath(pid), QString());
    QCOMPARE(ProcessControl::executablePath(0), QString());
}

void tst_ProcessControl::terminateEndsOnlyTheGivenProcess()
{
    QProcess sleeper;
    startSleeper(sleeper);
    // No process: the ids that kill(2) reads as "this process group" and "all
    // of them" end nothing. The first is tried in a session of its own, where
    // the group is that one program; the second only as the first process of
    // a PID namespace, where all there is to end is the sleeper.
    QProcess grouped;
    grouped.start(QStringLiteral("setsid"),
                  {QStringLiteral("--wait"), QCoreApplication::applicationFilePath(), QStringLiteral("--terminate-0")});
    QVERIFY(grouped.waitForFinished(TestWait::kWait));
    QCOMPARE(grouped.readAllStandardOutput(), QByteArray("survived\n"));
    if (QCoreApplication::applicationPid() == 1) {
        ProcessControl::terminate(-1);
        QVERIFY(!sleeper.waitForFinished(200));
    }

    ProcessControl::terminate(sleeper.processId());
    QVERIFY(sleeper.waitForFinished(TestWait::kWait));
    QCOMPARE(sleeper.exitStatus(), QProcess::CrashExit);
    QCOMPARE(sleeper.exitCode(), SIGTERM);
}

// With "--terminate-0" this program asks to end process 0, and says whether
// it survived.
int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--terminate-0") == 0) {
        ProcessControl::terminate(0);
        std::puts("survived");
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_ProcessControl test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_processcontrol.moc"
