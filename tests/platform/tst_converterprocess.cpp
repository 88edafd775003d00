#include "ConverterProcess.h"
#include "ProcessControl.h"
#include "TestWait.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

#include <csignal>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Ending converters by image name, against real processes. The image name is
// one of this test's own, so nothing else of the user's is touched.
namespace {

// A copy of sleep at `image`, started for ten minutes: a converter by its
// image name. Its pid, or 0 when it could not be started.
pid_t startConverterLookAlike(const QString &image)
{
    if (!QFile::copy(QStringLiteral("/bin/sleep"), image)
        || !QFile::setPermissions(image, QFile::ReadOwner | QFile::ExeOwner))
        return 0;
    const QByteArray path = QFile::encodeName(image);
    char seconds[] = "600";
    char *const argv[] = {const_cast<char *>(path.constData()), seconds, nullptr};
    pid_t pid = 0;
    return ::posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) == 0 ? pid : 0;
}

} // namespace

class tst_ConverterProcess : public QObject
{
    Q_OBJECT

private slots:
    void killReturnsOnlyOnceTheConverterIsGone();
    void aConverterWhoseFileWasReplacedIsEnded();
};

// A killed process is not gone at once: here it is held at its exit, where
// it still runs its executable, as a tracer holds it. The kill must not
// return while it is there, or the caller's new converter would meet it.
void tst_ConverterProcess::killReturnsOnlyOnceTheConverterIsGone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString imageName = QStringLiteral("dying-converter-%1.exe").arg(QCoreApplication::applicationPid());
    const QString image = dir.path() + '/' + imageName;
    const pid_t pid = startConverterLookAlike(image);
    QVERIFY(pid > 0);
    const QString exeLink = QStringLiteral("/proc/%1/exe").arg(pid);
    QTRY_COMPARE(QFileInfo(exeLink).symLinkTarget(), image);
    std::unique_ptr<QThread> killer;
    const auto release = qScopeGuard([&] {
        ::kill(pid, SIGKILL);
        ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        int status = 0;
        while (::waitpid(pid, &status, __WALL) == pid && WIFSTOPPED(status))
            ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        if (killer)
            killer->wait();
    });
    if (::ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL) != 0)
        QSKIP("cannot trace a child process here");

    bool runningWhenKillReturned = true;
    killer.reset(QThread::create([&] {
        ConverterProcess::killByImageName(imageName);
        runningWhenKillReturned = !QFileInfo(exeLink).symLinkTarget().isEmpty();
    }));
    killer->start();

    int status = 0;
    bool stopped = false;
    QTRY_VERIFY(stopped || (stopped = ::waitpid(pid, &status, __WALL | WNOHANG) == pid));
    QVERIFY(WIFSTOPPED(status));
    QCOMPARE(status >> 8, SIGTRAP | (PTRACE_EVENT_EXIT << 8));
    // A moment at the exit, then it goes on to die.
    QTest::qWait(500);
    QCOMPARE(::ptrace(PTRACE_CONT, pid, nullptr, nullptr), 0L);
    QCOMPARE(::waitpid(pid, &status, __WALL), pid);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    QVERIFY(killer->wait(TestWait::kWait));
    QVERIFY(!runningWhenKillReturned);
}

// An update replaces the converter's file while the old converter runs; the
// kernel then names its executable "<path> (deleted)". It is still the
// converter, and must be ended before the new one starts.
void tst_ConverterProcess::aConverterWhoseFileWasReplacedIsEnded()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString imageName = QStringLiteral("replaced-converter-%1.exe").arg(QCoreApplication::applicationPid());
    const QString image = dir.path() + '/' + imageName;
    const pid_t pid = startConverterLookAlike(image);
    QVERIFY(pid > 0);
    bool reaped = false;
    int status = 0;
    const auto reap = qScopeGuard([&] {
        if (!reaped) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    });
    QTRY_COMPARE(ProcessControl::executablePath(pid), image);

    QVERIFY(QFile::remove(image));
    QVERIFY(QFile::copy("/bin/true", image));
    char link[4096] = {};
    const QByteArray exeLink = "/proc/" + QByteArray::number(pid) + "/exe";
    QVERIFY(::readlink(exeLink.constData(), link, sizeof link - 1) > 0);
    QCOMPARE(QByteArray(link), QFile::encodeName(image) + " (deleted)");
    QCOMPARE(ProcessControl::executablePath(pid), image);

    ConverterProcess::killByImageName(imageName);
    // Its executable is gone a moment before the process can be waited for.
    QTRY_VERIFY(reaped || (reaped = ::waitpid(pid, &status, WNOHANG) == pid));
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

QTEST_GUILESS_MAIN(tst_ConverterProcess)
#include "tst_converterprocess.moc"
