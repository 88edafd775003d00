#include "LauncherOutcomes.h"

#include "TestFiles.h"
#include "TestProcesses.h"

#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <cstring>

using TestFiles::copyFile;
using TestFiles::readFile;

void LauncherOutcomes::init()
{
    m_sandbox.reset(new LauncherSandbox(LAUNCHER_BINARY, SPLASH_MODULE));
    QVERIFY2(m_sandbox->setUpError().isEmpty(), qPrintable(m_sandbox->setUpError()));
}

void LauncherOutcomes::cleanup()
{
    QVERIFY(m_sandbox->endAll());
    m_sandbox.reset();
}

void LauncherOutcomes::createSegment(QSharedMemory &segment, const QByteArray &content)
{
    segment.setKey(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.create(content.size()), qPrintable(segment.errorString()));
    memcpy(segment.data(), content.constData(), size_t(content.size()));
}

QByteArray LauncherOutcomes::segmentBytes(const QSharedMemory &segment, int count)
{
    return QByteArray(static_cast<const char *>(segment.constData()), count);
}

void LauncherOutcomes::startPathRecordsPidAndRestartsConverter()
{
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    // An old converter elsewhere, and programs that only look like one.
    const QString old = sandbox().path() + "/old/orvalinpdfConverter.exe";
    QVERIFY(copyFile(LauncherSandbox::sleeper(), old));
    QVERIFY(copyFile(LauncherSandbox::sleeper(), old + ".bak"));
    QProcess *oldConverter = start(old, {"600"});
    QProcess *similarName = start(old + ".bak", {"600"});
    QProcess *similarCommandLine = sandbox().startNamingTheConverter();
    QVERIFY(similarCommandLine);
    QCOMPARE(oldConverter->state(), QProcess::Running);
    QCOMPARE(similarName->state(), QProcess::Running);
    QCOMPARE(similarCommandLine->state(), QProcess::Running);

    QProcess *launcher = start(app());
    const qint64 launcherPid = launcher->processId();
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(launcherPid), TestWait::kWait);

    // The old converter is ended by its image name, and only it.
    WAIT_FINISHED(oldConverter);
    QCOMPARE(similarName->state(), QProcess::Running);
    QCOMPARE(similarCommandLine->state(), QProcess::Running);

    // The launcher never ends by itself: the new converter ends it, from
    // outside, once the converter's window is up.
    QTRY_COMPARE_WITH_TIMEOUT(launcher->state(), QProcess::NotRunning, TestWait::kLongWait);
#ifndef Q_OS_WIN
    // By a signal (TerminateProcess on Windows leaves no such trace).
    QCOMPARE(launcher->exitStatus(), QProcess::CrashExit);
#endif
    const QList<TestProcesses::Process> started = TestProcesses::below(sandbox().path() + "/app");
    QCOMPARE(started.size(), 1);
    QCOMPARE(QFileInfo(started.first().executable).fileName().toLower(), QString("orvalinpdfconverter.exe"));
#ifdef Q_OS_WIN
    // Started by the launcher itself (the shell's open action runs in its
    // process); on Linux it starts detached.
    QCOMPARE(started.first().parentPid, launcherPid);
#endif

    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QVERIFY(segment.size() >= 1);

    // A second start now hands off to the converter, which clears the signal.
    QProcess *second = start(app());
    WAIT_FINISHED(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(segmentBytes(segment, 1), QByteArray(1, '\0'), TestWait::kWait);
    QCOMPARE(recordedPid(), QString::number(launcherPid));
    QVERIFY(TestProcesses::isRunning(started.first().pid));
    segment.detach();
}

void LauncherOutcomes::handOffWritesOnlyByteZero()
{
    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    // A converter that must be neither killed nor started again.
    QVERIFY(copyFile(LauncherSandbox::sleeper(), app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"), {"600"});

    QProcess *launcher = start(app(), {"some", "--argument"});
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 0);

    QCOMPARE(segmentBytes(segment, 3), QByteArray("9B\0", 3));
    QVERIFY(!QFile::exists(sandbox().recordPath()));
    QCOMPARE(converter->state(), QProcess::Running);
    QCOMPARE(TestProcesses::below(sandbox().path()).size(), 1);
}

void LauncherOutcomes::secondLauncherFromSameFileEndsAtOnce()
{
    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), TestWait::kWait);
    // As if the first had been running for an hour: no lock may go stale.
    QVERIFY(sandbox().ageInstanceLock());

    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    const QByteArray recordBefore = readFile(sandbox().recordPath());
    QVERIFY(!recordBefore.isEmpty());

    QStringList sameFile{app()};
#ifdef Q_OS_WIN
    // Also when named in other letter case: Windows paths ignore case.
    sameFile << sandbox().path() + "/APP/ORVALINPDFLAUNCH.EXE";
#endif
    for (const QString &path : sameFile) {
        QProcess *second = start(path);
        WAIT_FINISHED(second);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(segmentBytes(segment, 3), QByteArray("AB\0", 3));
        QCOMPARE(readFile(sandbox().recordPath()), recordBefore);
        QCOMPARE(first->state(), QProcess::Running);
    }

    // A copy at another path is another application: it hands off, for
    // which it needs no splash module beside it.
    const QString copy = sandbox().path() + "/elsewhere/" + QFileInfo(LAUNCHER_BINARY).fileName();
    QVERIFY(copyFile(LAUNCHER_BINARY, copy));
    QProcess *other = start(copy);
    WAIT_FINISHED(other);
    QCOMPARE(other->exitCode(), 0);
    QCOMPARE(segmentBytes(segment, 3), QByteArray("9B\0", 3));
}

// The launcher is killed; the converter it started lives on (one that holds
// no segment): the next launcher takes the start path.
void LauncherOutcomes::killedLauncherDoesNotBlock()
{
    const QString lingering = sandbox().installLingeringConverter();
    QVERIFY(!lingering.isEmpty());
    const auto lingeringRuns = [&] {
        const QList<TestProcesses::Process> running = TestProcesses::below(QFileInfo(lingering).path());
        return std::any_of(running.begin(), running.end(), [&](const TestProcesses::Process &process) {
            return QFileInfo(process.executable)
                           .fileName()
                           .compare(QFileInfo(lingering).fileName(), Qt::CaseInsensitive)
                    == 0;
        });
    };

    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), TestWait::kWait);
    QTRY_VERIFY_WITH_TIMEOUT(lingeringRuns(), TestWait::kWait);
    first->kill();
    WAIT_FINISHED(first);

    QProcess *next = start(app());
    const QString nextPid = QString::number(next->processId());
    QTRY_VERIFY_WITH_TIMEOUT(recordedPid() == nextPid || next->state() == QProcess::NotRunning, TestWait::kWait);
    QCOMPARE(recordedPid(), nextPid);
    QCOMPARE(next->state(), QProcess::Running);
}
