// The Windows launcher as a user meets it, under wine64: real Windows
// processes, the named mutex of the single-instance guard, Qt's Windows
// shared memory, the end of old converters and the shell's open action.
// What Linux shares comes from LauncherOutcomes; here is what only Windows
// has: the stand-in converter taking the hand-off itself, and old converters
// ended through the process API, never through a program on the search path.

#include "LauncherOutcomes.h"
#include "TestFiles.h"
#include "TestProcesses.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QtTest>

#include <cstring>

using TestFiles::copyFile;
using TestFiles::readFile;
using TestWait::kWait;

class tst_WinLauncher : public LauncherOutcomes
{
    Q_OBJECT

private slots:
    void handOffToTheStandInConverter();
    void oldConverterGoneBeforeNewStartsAndNoProgramSearched();

private:
    // Started with ORVALIN_SLEEPER_LOG naming `sleeperLog`, inherited by what
    // it starts in turn (sleeper.cpp).
    QProcess *startLogging(const QString &program, const QStringList &arguments, const QString &sleeperLog,
                           const QString &workingDirectory = QString());
};

QProcess *tst_WinLauncher::startLogging(const QString &program, const QStringList &arguments, const QString &sleeperLog,
                                        const QString &workingDirectory)
{
    QProcess *process = sandbox().prepare();
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVALIN_SLEEPER_LOG"), QDir::toNativeSeparators(sleeperLog));
    process->setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    process->start(program, arguments);
    process->waitForStarted(kWait);
    return process;
}

void tst_WinLauncher::handOffToTheStandInConverter()
{
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"));
    // The converter holds the segment before it shows its window.
    QVERIFY(TestProcesses::waitForWindow(converter->processId(), kWait));
    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QVERIFY(segment.size() >= 4);
    // The converter clears byte 0 only when it holds 0x39, so the byte going
    // from 'A' to 0 shows that exactly 0x39 was written.
    QVERIFY(segment.lock());
    memcpy(segment.data(), "ABCD", 4);
    QVERIFY(segment.unlock());

    QProcess *launcher = start(app());
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(segmentBytes(segment, 1), QByteArray(1, '\0'), kWait);
    QCOMPARE(segmentBytes(segment, 4), QByteArray("\0BCD", 4));
    QVERIFY(!QFile::exists(sandbox().recordPath()));
    QCOMPARE(converter->state(), QProcess::Running);
    QCOMPARE(TestProcesses::below(sandbox().path()).size(), 1);
    segment.detach();
}

void tst_WinLauncher::oldConverterGoneBeforeNewStartsAndNoProgramSearched()
{
    // An old converter, ended before the new one starts: the new one meets no
    // other process of its name.
    const QString oldLog = sandbox().path() + "/old.log";
    QVERIFY(copyFile(LauncherSandbox::sleeper(), sandbox().path() + "/old/orvalinpdfConverter.exe"));
    QProcess *oldConverter = startLogging(sandbox().path() + "/old/orvalinpdfConverter.exe", {"600"}, oldLog);
    QTRY_VERIFY_WITH_TIMEOUT(!readFile(oldLog).isEmpty(), kWait);

    // The launcher started from a folder that holds a taskkill.exe, as a
    // document's folder might; the new converter says what it met at its start.
    const QString cwd = sandbox().path() + "/documents";
    QVERIFY(copyFile(LauncherSandbox::sleeper(), cwd + "/taskkill.exe"));
    QVERIFY(copyFile(LauncherSandbox::sleeper(), app("orvalinpdfConverter.exe")));
    const QString newLog = sandbox().path() + "/new.log";
    QProcess *launcher = startLogging(app(), {}, newLog, cwd);
    QTRY_VERIFY_WITH_TIMEOUT(readFile(newLog).contains("orvalinpdfConverter.exe"), kWait);
    WAIT_FINISHED(oldConverter);
    QCOMPARE(readFile(newLog), QByteArray("orvalinpdfConverter.exe 0\n"));
    QCOMPARE(launcher->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_WinLauncher)
#include "tst_winlauncher.moc"
