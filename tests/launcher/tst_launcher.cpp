// The launcher on Linux as a user meets it: real processes, real System V
// shared memory, real files, each test in a sandbox of its own
// (LauncherSandbox) whose TMPDIR gives the segment "pdfconvertersm" a key of
// its own and whose XDG_CONFIG_HOME / XDG_RUNTIME_DIR keep the pid record
// and the instance lock. What Windows shares comes from LauncherOutcomes.

#include "LauncherOutcomes.h"
#include "TestFiles.h"
#include "TestProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

#include <memory>

#include <sys/shm.h>

using TestFiles::copyFile;
using TestWait::kWait;

namespace {

int processesBelow(const QString &folder)
{
    return TestProcesses::below(folder).size();
}

} // namespace

class tst_Launcher : public LauncherOutcomes
{
    Q_OBJECT

private slots:
    void handOffWaitsItsTurnAtTheLock();
    void orphanedSegmentLeadsToStartPath();
    void onlyTheSplashNeedsTheGui();
    void splashModuleOnlyFromBesideTheExecutable();
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
    QString recordPath(const QString &folder = QStringLiteral("orvalinpdfConverter")) const
    {
        return sandbox().recordPath(folder);
    }
    QString recordedPid(const QString &folder = QStringLiteral("orvalinpdfConverter")) const
    {
        return sandbox().recordedPid(folder);
    }
    QProcess *prepare() { return sandbox().prepare(); }
};

// The converter holds the segment's lock while it reads and clears the byte.
// Qt's attach takes the lock as well: the launcher is let through for that
// one turn, then a second holder queued behind it has the lock again before
// the launcher comes to write. System V semaphores tell how many wait.
void tst_Launcher::handOffWaitsItsTurnAtTheLock()
{
    QSharedMemory segment;
    createSegment(segment, QByteArray("AB\0", 3));
    QVERIFY(copyFile(LauncherSandbox::sleeper(), app("orvalinpdfConverter.exe")));
    QProcess *converter = start(app("orvalinpdfConverter.exe"), {"600"});

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
    QTRY_COMPARE_WITH_TIMEOUT(sandbox().lockWaiters(), 1, kWait);
    nextHolder->start();
    QTRY_COMPARE_WITH_TIMEOUT(sandbox().lockWaiters(), 2, kWait);
    QVERIFY(segment.unlock());
    QVERIFY(nextHolder->wait(kWait));
    QTRY_VERIFY_WITH_TIMEOUT(sandbox().lockWaiters() == 1 || launcher->state() == QProcess::NotRunning, kWait);
    QCOMPARE(segmentBytes(segment, 3), QByteArray("AB\0", 3));
    QCOMPARE(launcher->state(), QProcess::Running);

    QVERIFY(next.unlock());
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 0);
    QCOMPARE(segmentBytes(segment, 3), QByteArray("9B\0", 3));
    QVERIFY(!QFile::exists(recordPath()));
    QCOMPARE(converter->state(), QProcess::Running);
}

void tst_Launcher::orphanedSegmentLeadsToStartPath()
{
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));
    QProcess *crashing = start(app("orvalinpdfConverter.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(sandbox().attachments(), 1, kWait);
    // The converter crashes; its segment stays behind with nobody attached,
    // holding a signal that was never cleared.
    crashing->kill();
    WAIT_FINISHED(crashing);
    const int orphan = ::shmget(sandbox().systemVKey("sharedmemory"), 0, 0);
    QVERIFY(orphan != -1);
    void *stale = ::shmat(orphan, nullptr, 0);
    QVERIFY(stale != reinterpret_cast<void *>(-1));
    memcpy(stale, "9X", 2);
    QCOMPARE(::shmdt(stale), 0);

    QProcess *launcher = start(app());
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(launcher->processId()), kWait);
    WAIT_FINISHED(launcher);
    QCOMPARE(launcher->exitStatus(), QProcess::CrashExit);
    QCOMPARE(processesBelow(sandbox().path() + "/app"), 1);

    // The new converter starts on a fresh segment: nothing of the old one
    // reaches it.
    QSharedMemory segment(QStringLiteral("pdfconvertersm"));
    QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
    QCOMPARE(segmentBytes(segment, 2), QByteArray(2, '\0'));
    segment.detach();
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
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(first->processId()), kWait);

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
    QCOMPARE(segmentBytes(segment, 2), QByteArray("9B"));
}

// The splash's code is the module beside the executable file or none: not
// one in the working folder or on LD_LIBRARY_PATH. Without it, or with a
// broken one, the launcher says why and fails before the start path begins.
void tst_Launcher::splashModuleOnlyFromBesideTheExecutable()
{
    const QString module = app(QFileInfo(SPLASH_MODULE).fileName());
    const QString elsewhere = sandbox().path() + "/elsewhere";
    QVERIFY(QFile::remove(module));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QFile::copy(SPLASH_MODULE, elsewhere + '/' + QFileInfo(module).fileName()));
    QVERIFY(copyFile(CONVERTER_BINARY, app("orvalinpdfConverter.exe")));

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
    QVERIFY(processesBelow(sandbox().path() + "/app") == 0);
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
    QTRY_COMPARE_WITH_TIMEOUT(int(finished()), count - 1, TestWait::kLongWait);
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
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(survivor->processId()), kWait);
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
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid("laConverter"), QString::number(launcher->processId()), kWait);
    QSettings record(recordPath("laConverter"), QSettings::IniFormat);
    QCOMPARE(record.value("core/other").toString(), QString("kept"));
    QCOMPARE(record.value("extra/key").toString(), QString("value"));
    QVERIFY(!QFile::exists(recordPath()));
}

// Whatever name the launcher was started under, its folders follow its file.
void tst_Launcher::recordFollowsFileNotStartName()
{
    QVERIFY(QFile::link(app(), sandbox().path() + "/pdf"));
    QProcess *throughLink = start(sandbox().path() + "/pdf");
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(throughLink->processId()), kWait);
    throughLink->kill();
    WAIT_FINISHED(throughLink);

    QProcess *otherArgv0 = start("/bin/bash", {"-c", "exec -a pdf \"$0\"", app()});
    QTRY_COMPARE_WITH_TIMEOUT(recordedPid(), QString::number(otherArgv0->processId()), kWait);
    QCOMPARE(QDir(sandbox().path() + "/config").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
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
    const QByteArray pidFile = QFile::encodeName(sandbox().path() + "/launcher.pid");
    // Shell built-ins up to the stop: no time lost in starting programs.
    const auto watcher = [&](const QByteArray &seen) {
        return "read pid < '" + pidFile + "'\nkill -STOP $pid\ncat '" + QFile::encodeName(recordPath()) + "' > '" + seen
                + ".tmp'\nkill -CONT $pid\nmv '" + seen + ".tmp' '" + seen + "'\n";
    };
    const QString seenAtStart = sandbox().path() + "/seen-at-start.ini";
    const QString seenAtEnd = sandbox().path() + "/seen-at-end.ini";
    QFile converter(app("orvalinpdfConverter.exe"));
    QVERIFY(converter.open(QIODevice::WriteOnly));
    converter.write("#!/bin/sh\n" + watcher(QFile::encodeName(seenAtStart)));
    converter.close();
    QVERIFY(converter.setPermissions(converter.permissions() | QFile::ExeOwner));
    const QString old = sandbox().path() + "/old/orvalinpdfConverter.exe";
    QVERIFY(copyFile("/bin/sleep", old));
    start("/bin/sh", {"-c", "exec '" + old + "' 600 | { read line; " + watcher(QFile::encodeName(seenAtEnd)) + "}"});
    QTRY_COMPARE_WITH_TIMEOUT(processesBelow(sandbox().path() + "/old"), 1, kWait);

    // The launcher takes far longer to set up its application object than
    // this takes to write.
    QProcess *launcher = start(app());
    QFile pid(QFile::decodeName(pidFile));
    QVERIFY(pid.open(QIODevice::WriteOnly));
    pid.write(QByteArray::number(launcher->processId()));
    pid.close();

    for (const QString &seen : {seenAtEnd, seenAtStart}) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), kWait);
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
    QTRY_VERIFY_WITH_TIMEOUT((told += launcher->readAllStandardError()).contains("shown: "), kWait);
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
    tool.waitForFinished(kWait);
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
    if (!QTest::qWaitFor([&] { return server->canReadLine(); }, kWait))
        return splash;
    splash.display = ":" + QString::fromLatin1(server->readLine()).trimmed();
    if (!resources.isEmpty()) {
        QProcess xrdb;
        xrdb.start("xrdb", {"-display", splash.display, "-nocpp", "-merge", "-"});
        xrdb.write(resources);
        xrdb.closeWriteChannel();
        if (!xrdb.waitForFinished(kWait) || xrdb.exitCode() != 0)
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
            kWait));
    return splash;
}

QTEST_GUILESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
