// The launcher as a user meets it: real processes, real System V shared
// memory, real files. Each test gets its own folder with copies of the
// binaries; TMPDIR points into it, which gives the shared memory segment
// "pdfconvertersm" a key of its own, and XDG_CONFIG_HOME / XDG_RUNTIME_DIR
// keep the pid record and the instance lock there too.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

#include <csignal>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/types.h>
#include <unistd.h>

// waitForFinished() fails for a process that has already ended, which the
// event loop of an earlier QTRY may have noticed.
#define WAIT_FINISHED(process) QTRY_COMPARE_WITH_TIMEOUT((process)->state(), QProcess::NotRunning, waitMs)

namespace {

const int waitMs = 30000;

QString exeOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

// Processes whose executable lies below `folder`.
QList<qint64> processesBelow(const QString &folder)
{
    QList<qint64> found;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && exeOf(pid).startsWith(folder + '/'))
            found.append(pid);
    }
    return found;
}

bool copyExecutable(const QString &from, const QString &to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(from) | QFile::ExeOwner);
}

// The launcher as installed: the executable and, beside it, the module that
// holds its splash.
bool copyLauncher(const QString &to)
{
    return copyExecutable(LAUNCHER_BINARY, to)
            && QFile::copy(SPLASH_MODULE, QFileInfo(to).path() + '/' + QFileInfo(SPLASH_MODULE).fileName());
}

} // namespace

class tst_Launcher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startPathRecordsPidAndRestartsConverter();
    void handOffWritesOnlyByteZero();
    void orphanedSegmentLeadsToStartPath();
    void secondLauncherFromSameFileEndsAtOnce();
    void onlyTheSplashNeedsTheGui();
    void splashModuleOnlyFromBesideTheExecutable();
    void killedLauncherDoesNotBlock();
    void simultaneousStartsLeaveOne();
    void recordFollowsExecutableNameAndKeepsEntries();
    void recordFollowsFileNotStartName();
    void recordIsOnDiskBeforeConverterIsEndedOrStarted();
    void splashAsksForExactlyItsWindowFlags();
    void splashIsTranslucentFramelessToolOnTop();
    void splashFollowsTheScreenScale_data();
    void splashFollowsTheScreenScale();

private:
    // The splash as an X server shows it: the display, the window's id (empty
    // when it did not come up) and xwininfo's description of it.
    struct Splash
    {
        QString display;
        QString window;
        QString info;
    };
    Splash showSplashOnXvfb(const QByteArray &resources);
    static bool haveXTools();
    static QString xQuery(const QString &display, const QString &program, const QStringList &arguments);
    QString app(const QString &name = QStringLiteral("orvalinpdfLaunch")) const
    {
        return m_dir->path() + "/app/" + name;
    }
    QString recordPath(const QString &folder = QStringLiteral("orvalinpdfConverter")) const
    {
        return m_dir->path() + "/config/" + folder + "/lunach.ini";
    }
    QString recordedPid(const QString &folder = QStringLiteral("orvalinpdfConverter")) const
    {
        return QSettings(recordPath(folder), QSettings::IniFormat).value("core/lunach").toString();
    }
    QProcess *prepare();
    QProcess *start(const QString &program, const QStringList &arguments = {});
    void createSegment(QSharedMemory &segment, const QByteArray &content);
    key_t systemVKey(const QString &kind) const;
    int lockWaiters() const;
    int attachments() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedTmpDir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void tst_Launcher::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    for (const char *sub : {"app", "config", "tmp", "run"})
        QVERIFY(QDir(m_dir->path()).mkpath(sub));
    QVERIFY(QFile::setPermissions(m_dir->path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(copyLauncher(app()));

    // The segment this process creates must be the one the launchers see.
    m_savedTmpDir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(m_dir->path() + "/tmp"));
}

void tst_Launcher::cleanup()
{
    // The stand-in converter runs detached; end everything started from here.
    // A launcher starts its converter after its splash is up, so one may
    // still be on its way when the first sweep runs: sweep until none is left.
    const auto endAllBelow = [this] {
        const QList<qint64> left = processesBelow(m_dir->path());
        for (qint64 pid : left)
            ::kill(pid_t(pid), SIGKILL);
        return left.isEmpty();
    };
    endAllBelow();
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished(waitMs);
    }
    m_processes.clear();
    QTRY_VERIFY_WITH_TIMEOUT(endAllBelow(), waitMs);

    // A segment whose holders were killed survives them; the last detach
    // removes it. A killed holder lets go of it only while its memory is torn
    // down, after it no longer shows as running: a segment left here could
    // meet a later test whose key file gets the same inode.
    QSharedMemory leftover(QStringLiteral("pdfconvertersm"));
    if (leftover.attach()) {
        static_cast<void>(QTest::qWaitFor([&] { return attachments() == 1; }, waitMs));
        leftover.detach();
    }

    if (m_savedTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", m_savedTmpDir);
    m_dir.reset();
}

// A process that sees only this test's folders: its own configuration,
// runtime folder and TMPDIR (and with it its own shared memory keys).
QProcess *tst_Launcher::prepare()
{
    auto *process = new QProcess;
    m_processes.emplace_back(process);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", m_dir->path() + "/config");
    env.insert("XDG_RUNTIME_DIR", m_dir->path() + "/run");
    env.insert("TMPDIR", m_dir->path() + "/tmp");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process->setProcessEnvironment(env);
    return process;
}

QProcess *tst_Launcher::start(const QString &program, const QStringList &arguments)
{
    QProcess *process = prepare();
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    process->waitForStarted(waitMs);
    return process;
}

void tst_Launcher::createSegment(QSharedMemory &segment, const QByteArray &content)
{
    segment.setKey(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.create(content.size()), qPrintable(segment.errorString()));
    memcpy(segment.data(), content.constData(), size_t(content.size()));
}

// The System V key behind the segment ("sharedmemory") or its lock
// ("systemsem"): Qt derives it from a key file in the temporary folder.
key_t tst_Launcher::systemVKey(const QString &kind) const
{
    const QStringList files
            = QDir(m_dir->path() + "/tmp").entryList({"qipc_" + kind + "_pdfconvertersm*"}, QDir::Files);
    return files.size() == 1 ? ::ftok(QFile::encodeName(m_dir->path() + "/tmp/" + files.first()).constData(), 'Q')
                             : key_t(-1);
}

// How many processes (or threads) wait for the segment's lock.
int tst_Launcher::lockWaiters() const
{
    const int id = ::semget(systemVKey("systemsem"), 1, 0);
    return id == -1 ? -1 : ::semctl(id, 0, GETNCNT);
}

int tst_Launcher::attachments() const
{
    struct shmid_ds info;
    const int id = ::shmget(systemVKey("sharedmemory"), 0, 0);
    return id != -1 && ::shmctl(id, IPC_STAT, &info) == 0 ? int(info.shm_nattch) : -1;
}

void tst_Launcher::startPathRecordsPidAndRestartsConverter()
{
    QVERIFY(copyExecutable(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    // An old converter elsewhere, and programs that only look like one.
    const QString old = m_dir->path() + "/old/orvalinpdfConverter.exe";
    QVERIFY(copyExecutable("/bin/sleep", old));
    QVERIFY(copyExecutable("/bin/sleep", m_dir->path() + "/old/orvalinpdfConverter.exe.bak"));
    QProcess *oldConverter = start(old, {"600"});
    QProcess *similarName = start(m_dir->path() + "/old/orvalinpdfConverter.exe.bak", {"600"});
    QProcess *similarCommandLine = start("/bin/sh", {"-c", "read never", "orvalinpdfConverter.exe"});
    QCOMPARE(oldConverter->state(), QProcess::Running);

    QProcess *launcher = start(app());
    const QString launcherPid = QString::number(launcher->processId());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), launcherPid, waitMs);

    // The launcher never ends by itself: the new converter ends it, from
    // outside, once the converter's window is up.
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::CrashExit);

    WAIT_FINISHED(oldConverter);
    QCOMPARE(similarName->state(), QProcess::Running);
    QCOMPARE(similarCommandLine->state(), QProcess::Running);

    QCOMPARE(processesBelow(m_dir->path() + "/app").size(), 1);
    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QVERIFY(segment.size() >= 1);

    // A second start now hands off to the converter, which clears the signal.
    QProcess *second = start(app());
    WAIT_FINISHED(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<const char *>(segment.constData())[0], '\0', waitMs);
    QCOMPARE(recordedPid(), launcherPid);
    segment.detach();
}

void tst_Launcher::handOffWritesOnlyByteZero()
{
    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    // A converter that must be neither killed nor started again.
    QVERIFY(copyExecutable("/bin/sleep", app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"), {"600"});

    const auto bytes = [&] { return QByteArray(static_cast<const char *>(segment.constData()), 3); };

    // The converter holds the segment's lock while it reads and clears the
    // byte. Qt's attach takes the lock as well: the launcher is let through
    // for that one turn, then a second holder queued behind it has the lock
    // again before the launcher comes to write.
    QSharedMemory next(QStringLiteral("pdfconvertersm"));
    QVERIFY(next.attach());
    std::unique_ptr<QThread> nextHolder(QThread::create([&] { next.lock(); }));
    const auto release = qScopeGuard([&] {
        segment.unlock();
        nextHolder->wait();
        next.unlock();
    });
    QVERIFY(segment.lock());
    QProcess *launcher = start(app(), {"some", "--argument"});
    QTRY_COMPARE_WITH_TIMEOUT(lockWaiters(), 1, waitMs);
    nextHolder->start();
    QTRY_COMPARE_WITH_TIMEOUT(lockWaiters(), 2, waitMs);
    QVERIFY(segment.unlock());
    QVERIFY(nextHolder->wait(waitMs));
    QTRY_VERIFY_WITH_TIMEOUT(lockWaiters() == 1 || launcher->state() == QProcess::NotRunning, waitMs);
    QCOMPARE(bytes(), QByteArray("AB\0", 3));
    QCOMPARE(launcher->state(), QProcess::Running);

    QVERIFY(next.unlock());
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 0);

    QCOMPARE(bytes(), QByteArray("9B\0", 3));
    QVERIFY(!QFile::exists(recordPath()));
    QCOMPARE(converter->state(), QProcess::Running);
}

void tst_Launcher::orphanedSegmentLeadsToStartPath()
{
    QVERIFY(copyExecutable(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    QProcess *crashing = start(app("orvalinpdfConverter.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(attachments(), 1, waitMs);
    // The converter crashes; its segment stays behind with nobody attached,
    // holding a signal that was never cleared.
    crashing->kill();
    WAIT_FINISHED(crashing);
    const int orphan = ::shmget(systemVKey("sharedmemory"), 0, 0);
    QVERIFY(orphan != -1);
    void *stale = ::shmat(orphan, nullptr, 0);
    QVERIFY(stale != reinterpret_cast<void *>(-1));
    memcpy(stale, "9X", 2);
    QCOMPARE(::shmdt(stale), 0);

    QProcess *launcher = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(launcher->processId()), waitMs);
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::CrashExit);
    QCOMPARE(processesBelow(m_dir->path() + "/app").size(), 1);

    // The new converter starts on a fresh segment: nothing of the old one
    // reaches it.
    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QCOMPARE(QByteArray(static_cast<const char *>(segment.constData()), 2), QByteArray(2, '\0'));
    segment.detach();
}

void tst_Launcher::secondLauncherFromSameFileEndsAtOnce()
{
    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), waitMs);

    // As if the first had been running for an hour: no lock may go stale.
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    const QFileInfoList locks = QDir(m_dir->path() + "/run").entryInfoList(QDir::Files);
    QVERIFY(!locks.isEmpty());
    for (const QFileInfo &lock : locks) {
        QFile file(lock.filePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(hourAgo, QFileDevice::FileModificationTime));
    }

    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    const QByteArray recordBefore = [&] {
        QFile f(recordPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    QProcess *second = start(app());
    WAIT_FINISHED(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(static_cast<const char *>(segment.constData())[0], 'A');
    QFile record(recordPath());
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(record.readAll(), recordBefore);
    QCOMPARE(first->state(), QProcess::Running);

    // A copy at another path is another application: it hands off, for
    // which it needs no splash module beside it.
    const QString copy = m_dir->path() + "/elsewhere/orvalinpdfLaunch";
    QVERIFY(copyExecutable(LAUNCHER_BINARY, copy));
    QProcess *other = start(copy);
    WAIT_FINISHED(other);
    QCOMPARE(other->exitCode(), 0);
    QCOMPARE(static_cast<const char *>(segment.constData())[0], '9');
}

// Ending at once and handing off are settled before the GUI comes up, so
// they work where it cannot (no display here); the splash still takes Qt's
// own command-line options.
void tst_Launcher::onlyTheSplashNeedsTheGui()
{
    const auto withoutDisplay = [this](const QStringList &arguments) {
        QProcess *process = prepare();
        QProcessEnvironment env = process->processEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("DISPLAY");
        process->setProcessEnvironment(env);
        process->start(app(), arguments);
        return process;
    };

    QProcess *first = withoutDisplay({"-platform", "offscreen"});
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), waitMs);

    QProcess *second = withoutDisplay({});
    WAIT_FINISHED(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);

    first->kill();
    WAIT_FINISHED(first);
    QSharedMemory segment;
    createSegment(segment, QByteArray("AB", 2));
    QProcess *handOff = withoutDisplay({});
    WAIT_FINISHED(handOff);
    QCOMPARE(handOff->exitStatus(), QProcess::NormalExit);
    QCOMPARE(handOff->exitCode(), 0);
    QCOMPARE(QByteArray(static_cast<const char *>(segment.constData()), 2), QByteArray("9B"));
}

// The splash's code is the module beside the executable file or none: not
// one in the working folder or on LD_LIBRARY_PATH. Without it, or with a
// broken one, the launcher says why and fails before the start path begins.
void tst_Launcher::splashModuleOnlyFromBesideTheExecutable()
{
    const QString module = app(QFileInfo(SPLASH_MODULE).fileName());
    const QString elsewhere = m_dir->path() + "/elsewhere";
    QVERIFY(QFile::remove(module));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QFile::copy(SPLASH_MODULE, elsewhere + '/' + QFileInfo(module).fileName()));
    QVERIFY(copyExecutable(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));

    for (const QByteArray &content : {QByteArray(), QByteArray("not a module")}) {
        if (!content.isNull()) {
            QFile broken(module);
            QVERIFY(broken.open(QIODevice::WriteOnly));
            broken.write(content);
        }
        QProcess *launcher = prepare();
        QProcessEnvironment env = launcher->processEnvironment();
        env.insert("LD_LIBRARY_PATH", elsewhere);
        launcher->setProcessEnvironment(env);
        launcher->setWorkingDirectory(elsewhere);
        launcher->start(app(), QStringList());
        WAIT_FINISHED(launcher);
        QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher->exitCode(), 1);
        const QByteArray told = launcher->readAllStandardError();
        QVERIFY2(told.contains("cannot start the splash: " + QFile::encodeName(module)), told.constData());
        QVERIFY(!QFile::exists(recordPath()));
    }
    QVERIFY(processesBelow(m_dir->path() + "/app").isEmpty());
}

// The launcher is killed; the converter it started lives on (one that holds
// no segment): the next launcher takes the start path.
void tst_Launcher::killedLauncherDoesNotBlock()
{
    const QString lingering = m_dir->path() + "/old/orvalinpdfConverter.exe";
    QVERIFY(copyExecutable("/bin/sleep", lingering));
    QFile converter(app("orvalinpdfConverter.exe"));
    QVERIFY(converter.open(QIODevice::WriteOnly));
    converter.write("#!/bin/sh\nexec '" + QFile::encodeName(lingering) + "' 600\n");
    converter.close();
    QVERIFY(converter.setPermissions(converter.permissions() | QFile::ExeOwner));

    QProcess *first = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(processesBelow(m_dir->path() + "/old").size(), 1, waitMs);
    first->kill();
    WAIT_FINISHED(first);

    QProcess *next = start(app());
    const QString nextPid = QString::number(next->processId());
    QTRY_VERIFY_WITH_TIMEOUT(recordedPid() == nextPid || next->state() == QProcess::NotRunning, waitMs);
    QCOMPARE(recordedPid(), nextPid);
    QCOMPARE(next->state(), QProcess::Running);
}

void tst_Launcher::simultaneousStartsLeaveOne()
{
    const int count = 8;
    QList<QProcess *> launchers;
    for (int i = 0; i < count; ++i)
        launchers.append(prepare());
    for (QProcess *process : launchers)
        process->start(app(), QStringList());

    const auto finished = [&] {
        return std::count_if(launchers.begin(), launchers.end(),
                             [](QProcess *p) { return p->state() == QProcess::NotRunning; });
    };
    QTRY_COMPARE_WITH_TIMEOUT(int(finished()), count - 1, 60000);
    QProcess *survivor = nullptr;
    for (QProcess *process : launchers) {
        if (process->state() != QProcess::NotRunning) {
            survivor = process;
        } else {
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(process->exitCode(), 0);
        }
    }
    QVERIFY(survivor);
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(survivor->processId()), waitMs);
    QCOMPARE(int(finished()), count - 1);
}

void tst_Launcher::recordFollowsExecutableNameAndKeepsEntries()
{
    QVERIFY(QFile::rename(app(), app("launcher")));
    {
        QSettings seed(recordPath("laConverter"), QSettings::IniFormat);
        seed.setValue("core/lunach", "1");
        seed.setValue("core/other", "kept");
        seed.setValue("extra/key", "value");
    }
    QProcess *launcher = start(app("launcher"));
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid("laConverter"), QString::number(launcher->processId()), waitMs);
    QSettings record(recordPath("laConverter"), QSettings::IniFormat);
    QCOMPARE(record.value("core/other").toString(), QString("kept"));
    QCOMPARE(record.value("extra/key").toString(), QString("value"));
    QVERIFY(!QFile::exists(recordPath()));
}

// Whatever name the launcher was started under, its folders follow its file.
void tst_Launcher::recordFollowsFileNotStartName()
{
    QVERIFY(QFile::link(app(), m_dir->path() + "/pdf"));
    QProcess *throughLink = start(m_dir->path() + "/pdf");
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(throughLink->processId()), waitMs);
    throughLink->kill();
    WAIT_FINISHED(throughLink);

    QProcess *otherArgv0 = start("/bin/bash", {"-c", "exec -a pdf \"$0\"", app()});
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(otherArgv0->processId()), waitMs);
    QCOMPARE(QDir(m_dir->path() + "/config").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"orvalinpdfConverter"});
}

// The converter may look for the launcher's pid the moment it is ended or
// started. Two watchers freeze the launcher right then and read the record,
// so the launcher cannot catch up with a write it has left for later: one
// started as the converter, one that wakes when the old converter dies (it
// holds the only writing end of the watcher's pipe).
void tst_Launcher::recordIsOnDiskBeforeConverterIsEndedOrStarted()
{
    {
        QSettings stale(recordPath(), QSettings::IniFormat);
        stale.setValue("core/lunach", "1");
    }
    const QByteArray pidFile = QFile::encodeName(m_dir->path() + "/launcher.pid");
    // Shell built-ins up to the stop: no time lost in starting programs.
    const auto watcher = [&](const QByteArray &seen) {
        return "read pid < '" + pidFile + "'\nkill -STOP $pid\ncat '" + QFile::encodeName(recordPath()) + "' > '" + seen
                + ".tmp'\nkill -CONT $pid\nmv '" + seen + ".tmp' '" + seen + "'\n";
    };
    const QString seenAtStart = m_dir->path() + "/seen-at-start.ini";
    const QString seenAtEnd = m_dir->path() + "/seen-at-end.ini";
    QFile converter(app("orvalinpdfConverter.exe"));
    QVERIFY(converter.open(QIODevice::WriteOnly));
    converter.write("#!/bin/sh\n" + watcher(QFile::encodeName(seenAtStart)));
    converter.close();
    QVERIFY(converter.setPermissions(converter.permissions() | QFile::ExeOwner));
    const QString old = m_dir->path() + "/old/orvalinpdfConverter.exe";
    QVERIFY(copyExecutable("/bin/sleep", old));
    start("/bin/sh", {"-c", "exec '" + old + "' 600 | { read line; " + watcher(QFile::encodeName(seenAtEnd)) + "}"});
    QTRY_COMPARE_WITH_TIMEOUT(processesBelow(m_dir->path() + "/old").size(), 1, waitMs);

    // The launcher takes far longer to set up its application object than
    // this takes to write.
    QProcess *launcher = start(app());
    QFile pid(QFile::decodeName(pidFile));
    QVERIFY(pid.open(QIODevice::WriteOnly));
    pid.write(QByteArray::number(launcher->processId()));
    pid.close();

    for (const QString &seen : {seenAtEnd, seenAtStart}) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), waitMs);
        QCOMPARE(QSettings(seen, QSettings::IniFormat).value("core/lunach").toString(),
                 QString::number(launcher->processId()));
    }
}

// The whole set of flags, also those that change nothing on X (the minimize
// hint gives a frameless window a taskbar button's minimize on Windows).
void tst_Launcher::splashAsksForExactlyItsWindowFlags()
{
    QProcess *launcher = prepare();
    QProcessEnvironment env = launcher->processEnvironment();
    env.insert("QT_PLUGIN_PATH", PROBE_PLUGIN_PATH);
    env.insert("QT_STYLE_OVERRIDE", "windowflagsprobe");
    launcher->setProcessEnvironment(env);
    launcher->start(app(), QStringList());
    QByteArray told;
    QTRY_VERIFY_WITH_TIMEOUT((told += launcher->readAllStandardError()).contains("shown: "), waitMs);
    // Qt::Tool | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint
    QVERIFY2(told.contains("shown: MainWindow 0x4480b\n"), told.constData());
}

// What the launcher asks of the window system for its splash, as an X server
// sees it: a tool window without decorations that stays on top, with an
// alpha channel for the translucent background.
void tst_Launcher::splashIsTranslucentFramelessToolOnTop()
{
    if (!haveXTools())
        QSKIP("needs Xvfb, xprop, xwininfo and xrdb");
    const Splash splash = showSplashOnXvfb({});
    QVERIFY(!splash.window.isEmpty());
    const QString properties = xQuery(
            splash.display, "xprop", {"-id", splash.window, "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_MOTIF_WM_HINTS"});
    QVERIFY2(properties.contains("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_UTILITY"), qPrintable(properties));
    QVERIFY2(properties.contains("_NET_WM_STATE_ABOVE"), qPrintable(properties));
    // flags (decorations given), functions (all), decorations (none), input
    // mode, status.
    QVERIFY2(properties.contains("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x2, 0x1, 0x0, 0x0, 0x0\n"),
             qPrintable(properties));
    QVERIFY2(splash.info.contains("Depth: 32"), qPrintable(splash.info));
}

void tst_Launcher::splashFollowsTheScreenScale_data()
{
    QTest::addColumn<QByteArray>("resources");
    QTest::addColumn<QSize>("size");
    // A plain virtual display says nothing of a scale (its 100 dpi are a
    // size in millimetres, not a choice of the user): the splash stays as drawn.
    QTest::newRow("100 %") << QByteArray() << QSize(200, 250);
    // What a desktop set to 200 % tells its programs.
    QTest::newRow("200 %") << QByteArray("Xft.dpi: 192\n") << QSize(400, 500);
}

// On a scaled screen the splash keeps its size on the desktop: the X server
// sees a window of twice the splash's pixels at 200 %.
void tst_Launcher::splashFollowsTheScreenScale()
{
    QFETCH(QByteArray, resources);
    QFETCH(QSize, size);
    if (!haveXTools())
        QSKIP("needs Xvfb, xprop, xwininfo and xrdb");
    const Splash splash = showSplashOnXvfb(resources);
    QVERIFY(!splash.window.isEmpty());
    const QRegularExpression extent("Width: (\\d+)\\s+Height: (\\d+)");
    const QRegularExpressionMatch shown = extent.match(splash.info);
    QVERIFY2(shown.hasMatch(), qPrintable(splash.info));
    QCOMPARE(QSize(shown.captured(1).toInt(), shown.captured(2).toInt()), size);
}

bool tst_Launcher::haveXTools()
{
    for (const char *tool : {"Xvfb", "xprop", "xwininfo", "xrdb"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return false;
    }
    return true;
}

QString tst_Launcher::xQuery(const QString &display, const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, QStringList{"-display", display} + arguments);
    tool.waitForFinished(waitMs);
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// A launcher in the Chinese locale (a 200 x 250 splash) on a virtual display
// of its own, whose resource database holds `resources` before the launcher
// connects. The X server outlives its last client (-noreset): otherwise it
// would forget the resources as soon as xrdb is done.
tst_Launcher::Splash tst_Launcher::showSplashOnXvfb(const QByteArray &resources)
{
    Splash splash;
    QProcess *server = prepare();
    server->start("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"});
    if (!QTest::qWaitFor([&] { return server->canReadLine(); }, waitMs))
        return splash;
    splash.display = ":" + QString::fromLatin1(server->readLine()).trimmed();
    if (!resources.isEmpty()) {
        QProcess xrdb;
        xrdb.start("xrdb", {"-display", splash.display, "-nocpp", "-merge", "-"});
        xrdb.write(resources);
        xrdb.closeWriteChannel();
        if (!xrdb.waitForFinished(waitMs) || xrdb.exitCode() != 0)
            return splash;
    }

    QProcess *launcher = prepare();
    QProcessEnvironment env = launcher->processEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", splash.display);
    env.insert("LC_ALL", "zh_CN.UTF-8");
    launcher->setProcessEnvironment(env);
    launcher->start(app(), QStringList());

    // xwininfo lists each window as: 0x1a00005 "MainWindow": ... The splash is
    // listed from its creation on; all it asks for is set before it is mapped.
    const QRegularExpression listed("^\\s*(0x[0-9a-f]+) \"MainWindow\":", QRegularExpression::MultilineOption);
    static_cast<void>(QTest::qWaitFor(
            [&] {
                const QString id = listed.match(xQuery(splash.display, "xwininfo", {"-root", "-tree"})).captured(1);
                if (id.isEmpty())
                    return false;
                splash.info = xQuery(splash.display, "xwininfo", {"-id", id});
                if (!splash.info.contains("Map State: IsViewable"))
                    return false;
                splash.window = id;
                return true;
            },
            waitMs));
    return splash;
}

QTEST_GUILESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
