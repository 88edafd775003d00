#include "InstanceLock.h"
#include "TestWait.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

// The single-instance lock against a second holder in this process and in
// another one. The ids are the test's own, and the lock files go to a
// runtime folder of its own.
class tst_InstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void heldUntilDestroyed();
    void heldByAnotherProcessUntilItEnds_data();
    void heldByAnotherProcessUntilItEnds();

private:
    QString id(const char *name) const
    {
        return QStringLiteral("tst_instancelock-%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
    }

    QTemporaryDir m_runtime;
};

void tst_InstanceLock::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void tst_InstanceLock::heldUntilDestroyed()
{
    auto first = std::make_unique<InstanceLock>(id("a"));
    QVERIFY(first->isAcquired());
    QVERIFY(!InstanceLock(id("a")).isAcquired());
    QVERIFY(InstanceLock(id("b")).isAcquired());
    // A program started meanwhile (the converter) does not keep it.
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(child.waitForStarted(TestWait::kWait));
    first.reset();
    QVERIFY(InstanceLock(id("a")).isAcquired());
    child.kill();
    QVERIFY(child.waitForFinished(TestWait::kWait));
}

void tst_InstanceLock::heldByAnotherProcessUntilItEnds_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("holder ends") << false;
    QTest::newRow("holder killed") << true;
}

void tst_InstanceLock::heldByAnotherProcessUntilItEnds()
{
    QFETCH(bool, killed);
    const QString lockId = id("c");
    {
        // While this process holds it, the other one is refused.
        InstanceLock mine(lockId);
        QVERIFY(mine.isAcquired());
        QProcess refused;
        refused.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), lockId});
        refused.closeWriteChannel();
        QVERIFY(refused.waitForFinished(TestWait::kWait));
        QCOMPARE(refused.readAllStandardOutput(), QByteArray("refused\n"));
    }
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), lockId});
    QVERIFY(holder.waitForReadyRead(TestWait::kWait));
    QCOMPARE(holder.readLine(), QByteArray("held\n"));
    QVERIFY(!InstanceLock(lockId).isAcquired());

    if (killed)
        holder.kill();
    else
        holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(TestWait::kWait));
    QCOMPARE(holder.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
    QVERIFY(InstanceLock(lockId).isAcquired());
}

// With "--hold <id>" this program is the other process: it takes the lock,
// says whether it holds it, and keeps it until its input closes.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) {
        const InstanceLock lock(QString::fromLocal8Bit(argv[2]));
        std::puts(lock.isAcquired() ? "held" : "refused");
        std::fflush(stdout);
        while (std::getchar() != EOF) {}
        return 0;
    }
    tst_InstanceLock test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancelock.moc"
