// The Windows launcher as a user meets it, under wine64: real Windows
// processes, the named mutex of the single-instance guard, Qt's Windows
// shared memory, the end of old converters and the shell's open action. Each test copies the
// executables into a folder of its own; the pid record lives where Windows
// keeps it, in the user's local application data folder.

#include "WinProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// waitForFinished() fails for a process that has already ended, which the
// event loop of an earlier QTRY may have noticed.
#define WAIT_FINISHED(process) QTRY_COMPARE_WITH_TIMEOUT((process)->state(), QProcess::NotRunning, waitMs)

namespace {

const int waitMs = 60000;

bool copyFile(const QString &from, const QString &to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return QFile::copy(from, to);
}

QByteArray segmentBytes(const QSharedMemory &segment, int count)
{
    return QByteArray(static_cast<const char *>(segment.constData()), count);
}

} // namespace

class tst_WinLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startPathRecordsPidAndRestartsConverter();
    void handOffWritesOnlyByteZero();
    void handOffToTheStandInConverter();
    void secondLauncherFromSameFileEndsAtOnce();
    void killedLauncherDoesNotBlock();
    void oldConverterGoneBeforeNewStartsAndNoProgramSearched();

private:
    QString app(const QString &name = QStringLiteral("orvalinpdfLaunch.exe")) const
    {
        return m_dir->path() + "/app/" + name;
    }
    QString recordedPid() const { return QSettings(m_record, QSettings::IniFormat).value("core/lunach").toString(); }
    QByteArray recordBytes() const
    {
        QFile file(m_record);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QProcess *start(const QString &program, const QStringList &arguments = {}, const QString &sleeperLog = {},
                    const QString &workingDirectory = {});
    void createSegment(QSharedMemory &segment, const QByteArray &content);

    QString m_record;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void tst_WinLauncher::initTestCase()
{
    // Where Windows itself says the user's local application data is, not
    // where Qt would put it: the record must land in the real folder.
    const QString localAppData = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    QVERIFY2(!localAppData.isEmpty(), "LOCALAPPDATA is not set");
    m_record = localAppData + "/orvalinpdfConverter/lunach.ini";
}

void tst_WinLauncher::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(copyFile(LAUNCHER_BINARY, app()));
    QFile::remove(m_record);
}

void tst_WinLauncher::cleanup()
{
    // A launcher shows its splash only once it has ended the old converters
    // and started the new one: ending it earlier would leave a converter
    // starting after the sweep below.
    for (auto &process : m_processes) {
        if (process->state() == QProcess::Running
            && process->program().endsWith(QStringLiteral("orvalinpdfLaunch.exe"), Qt::CaseInsensitive))
            WinProcesses::waitForWindow(process->processId(), waitMs);
    }
    // The converter runs detached; end everything started from here.
    WinProcesses::terminateBelow(m_dir->path());
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished(waitMs);
    }
    m_processes.clear();
    QVERIFY(WinProcesses::below(m_dir->path()).isEmpty());
    m_dir.reset();
    QFile::remove(m_record);
}

QProcess *tst_WinLauncher::start(const QString &program, const QStringList &arguments, const QString &sleeperLog,
                                 const QString &workingDirectory)
{
    auto *process = new QProcess;
    m_processes.emplace_back(process);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    if (!sleeperLog.isEmpty()) {
        // Inherited by what the process starts in turn.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVALIN_SLEEPER_LOG"), QDir::toNativeSeparators(sleeperLog));
        process->setProcessEnvironment(environment);
    }
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    process->start(program, arguments);
    process->waitForStarted(waitMs);
    return process;
}

void tst_WinLauncher::createSegment(QSharedMemory &segment, const QByteArray &content)
{
    segment.setKey(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.create(content.size()), qPrintable(segment.errorString()));
    memcpy(segment.data(), content.constData(), size_t(content.size()));
}

void tst_WinLauncher::startPathRecordsPidAndRestartsConverter()
{
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    // A converter left running elsewhere, and a program whose image name
    // only starts like the converter's.
    QVERIFY(copyFile(SLEEPER_BINARY, m_dir->path() + "/old/orvalinpdfConverter.exe"));
    QVERIFY(copyFile(SLEEPER_BINARY, m_dir->path() + "/old/orvalinpdfConverter.exe.bak"));
    QProcess *oldConverter = start(m_dir->path() + "/old/orvalinpdfConverter.exe", {"600"});
    QProcess *similarName = start(m_dir->path() + "/old/orvalinpdfConverter.exe.bak", {"600"});
    QCOMPARE(oldConverter->state(), QProcess::Running);
    QCOMPARE(similarName->state(), QProcess::Running);

    QProcess *launcher = start(app());
    const qint64 launcherPid = launcher->processId();
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(launcherPid), waitMs);

    // The old converter is ended by its image name, and only it.
    WAIT_FINISHED(oldConverter);
    QCOMPARE(similarName->state(), QProcess::Running);

    // The launcher never ends by itself: the new converter ends it once its
    // window is up.
    WAIT_FINISHED(launcher);
    const QList<WinProcesses::Process> started = WinProcesses::below(m_dir->path() + "/app");
    QCOMPARE(started.size(), 1);
    QCOMPARE(QFileInfo(started.first().executable).fileName().toLower(), QString("orvalinpdfconverter.exe"));
    // Started by the launcher itself (the shell's open action runs in its
    // process), from the launcher's folder.
    QCOMPARE(started.first().parentPid, launcherPid);

    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QVERIFY(segment.size() >= 1);

    // A second start now hands off to the converter, which clears the signal.
    QProcess *second = start(app());
    WAIT_FINISHED(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<const char *>(segment.constData())[0], '\0', waitMs);
    QCOMPARE(recordedPid(), QString::number(launcherPid));
    QVERIFY(WinProcesses::isRunning(started.first().pid));
    segment.detach();
}

void tst_WinLauncher::handOffWritesOnlyByteZero()
{
    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    // A converter that must be neither killed nor started again.
    QVERIFY(copyFile(SLEEPER_BINARY, app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"), {"600"});

    QProcess *launcher = start(app(), {"some", "--argument"});
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 0);

    QCOMPARE(segmentBytes(segment, 3), QByteArray("9B\0", 3));
    QVERIFY(!QFile::exists(m_record));
    QCOMPARE(converter->state(), QProcess::Running);
    QCOMPARE(WinProcesses::below(m_dir->path()).size(), 1);
}

void tst_WinLauncher::handOffToTheStandInConverter()
{
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"));
    // The converter holds the segment before it shows its window.
    QVERIFY(WinProcesses::waitForWindow(converter->processId(), waitMs));
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
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<const char *>(segment.constData())[0], '\0', waitMs);
    QCOMPARE(segmentBytes(segment, 4), QByteArray("\0BCD", 4));
    QVERIFY(!QFile::exists(m_record));
    QCOMPARE(converter->state(), QProcess::Running);
    QCOMPARE(WinProcesses::below(m_dir->path()).size(), 1);
    segment.detach();
}

void tst_WinLauncher::secondLauncherFromSameFileEndsAtOnce()
{
    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), waitMs);

    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    const QByteArray recordBefore = recordBytes();

    // The same file, also when named in other letter case: Windows paths
    // ignore case.
    for (const QString &path : {app(), m_dir->path() + "/APP/ORVALINPDFLAUNCH.EXE"}) {
        QProcess *second = start(path);
        WAIT_FINISHED(second);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(segmentBytes(segment, 3), QByteArray("AB\0", 3));
        QCOMPARE(recordBytes(), recordBefore);
        QCOMPARE(first->state(), QProcess::Running);
    }

    // A copy at another path is another application: it hands off.
    const QString copy = m_dir->path() + "/elsewhere/orvalinpdfLaunch.exe";
    QVERIFY(copyFile(LAUNCHER_BINARY, copy));
    QProcess *other = start(copy);
    WAIT_FINISHED(other);
    QCOMPARE(other->exitCode(), 0);
    QCOMPARE(segmentBytes(segment, 3), QByteArray("9B\0", 3));
}

void tst_WinLauncher::killedLauncherDoesNotBlock()
{
    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), waitMs);
    QVERIFY(WinProcesses::waitForWindow(first->processId(), waitMs));
    first->kill();
    WAIT_FINISHED(first);

    QProcess *next = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(next->processId()), waitMs);
    QCOMPARE(next->state(), QProcess::Running);
}

void tst_WinLauncher::oldConverterGoneBeforeNewStartsAndNoProgramSearched()
{
    const auto logOf = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // An old converter, ended before the new one starts: the new one meets no
    // other process of its name.
    const QString oldLog = m_dir->path() + "/old.log";
    QVERIFY(copyFile(SLEEPER_BINARY, m_dir->path() + "/old/orvalinpdfConverter.exe"));
    QProcess *oldConverter = start(m_dir->path() + "/old/orvalinpdfConverter.exe", {"600"}, oldLog);
    QTRY_VERIFY_WITH_TIMEOUT(!logOf(oldLog).isEmpty(), waitMs);

    // The launcher started from a folder that holds a taskkill.exe, as a
    // document's folder might; the new converter says what it met at its start.
    const QString cwd = m_dir->path() + "/documents";
    QVERIFY(copyFile(SLEEPER_BINARY, cwd + "/taskkill.exe"));
    QVERIFY(copyFile(SLEEPER_BINARY, app("orvalinpdfConverter.exe")));
    const QString newLog = m_dir->path() + "/new.log";
    QProcess *launcher = start(app(), {}, newLog, cwd);
    QTRY_VERIFY_WITH_TIMEOUT(logOf(newLog).contains("orvalinpdfConverter.exe"), waitMs);
    WAIT_FINISHED(oldConverter);
    QCOMPARE(logOf(newLog), QByteArray("orvalinpdfConverter.exe 0\n"));
    QCOMPARE(launcher->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_WinLauncher)
#include "tst_winlauncher.moc"
