#include "LauncherSandbox.h"

#include "TestFiles.h"
#include "TestProcesses.h"
#include "TestWait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSharedMemory>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/types.h>
#endif

LauncherSandbox::LauncherSandbox(const QString &launcher, const QString &splashModule)
    : m_launcherName(QFileInfo(launcher).fileName())
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    if (!TestFiles::copyFile(launcher, app())
        || (!splashModule.isEmpty() && !TestFiles::copyFile(splashModule, app(QFileInfo(splashModule).fileName())))) {
        m_error = QStringLiteral("cannot copy the launcher into ") + app();
        return;
    }
#ifdef Q_OS_WIN
    // Where Windows itself says the user's local application data is, not
    // where Qt would put it: the record must land in the real folder.
    if (qEnvironmentVariable("LOCALAPPDATA").isEmpty()) {
        m_error = QStringLiteral("LOCALAPPDATA is not set");
        return;
    }
    QFile::remove(recordPath());
#else
    for (const char *sub : {"config", "tmp", "run"})
        QDir(path()).mkpath(QLatin1String(sub));
    if (!QFile::setPermissions(path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        m_error = QStringLiteral("cannot make the runtime folder");
        return;
    }
    // The segment this process creates must be the one the launchers see.
    m_savedTmpDir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(path() + "/tmp"));
#endif
}

LauncherSandbox::~LauncherSandbox()
{
    endAll();
#ifdef Q_OS_WIN
    QFile::remove(recordPath());
#else
    // A segment whose holders were killed survives them; the last detach
    // removes it. A killed holder lets go of it only while its memory is torn
    // down, after it no longer shows as running: a segment left here could
    // meet a later test whose key file gets the same inode.
    QSharedMemory leftover(QStringLiteral("pdfconvertersm"));
    if (leftover.attach()) {
        static_cast<void>(QTest::qWaitFor([&] { return attachments() == 1; }, TestWait::kWait));
        leftover.detach();
    }
    if (m_savedTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", m_savedTmpDir);
#endif
}

QString LauncherSandbox::app(const QString &name) const
{
    return path() + "/app/" + (name.isEmpty() ? m_launcherName : name);
}

QString LauncherSandbox::recordPath(const QString &folder) const
{
#ifdef Q_OS_WIN
    return QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")) + '/' + folder + "/lunach.ini";
#else
    return path() + "/config/" + folder + "/lunach.ini";
#endif
}

QString LauncherSandbox::recordedPid(const QString &folder) const
{
    return QSettings(recordPath(folder), QSettings::IniFormat).value("core/lunach").toString();
}

QProcess *LauncherSandbox::prepare()
{
    auto *process = new QProcess;
    m_processes.emplace_back(process);
#ifndef Q_OS_WIN
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", path() + "/config");
    env.insert("XDG_RUNTIME_DIR", path() + "/run");
    env.insert("TMPDIR", path() + "/tmp");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process->setProcessEnvironment(env);
#endif
    return process;
}

QProcess *LauncherSandbox::start(const QString &program, const QStringList &arguments)
{
    QProcess *process = prepare();
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    process->waitForStarted(TestWait::kWait);
    return process;
}

QString LauncherSandbox::sleeper()
{
#ifdef Q_OS_WIN
    return QStringLiteral(SLEEPER_BINARY);
#else
    return QStringLiteral("/bin/sleep");
#endif
}

QProcess *LauncherSandbox::startNamingTheConverter()
{
#ifdef Q_OS_WIN
    const QString other = path() + "/old/other.exe";
    if (!TestFiles::copyFile(sleeper(), other))
        return nullptr;
    return start(other, {"600", "orvalinpdfConverter.exe"});
#else
    return start("/bin/sh", {"-c", "read never", "orvalinpdfConverter.exe"});
#endif
}

QString LauncherSandbox::installLingeringConverter()
{
#ifdef Q_OS_WIN
    // Without an argument the sleeper stays a minute.
    const QString lingering = app("orvalinpdfConverter.exe");
    return TestFiles::copyFile(sleeper(), lingering) ? lingering : QString();
#else
    // The launcher gives its converter no argument, which sleep needs: a
    // script passes one on to a sleep copied into the folder, where the
    // sandbox finds it to end it.
    const QString lingering = path() + "/old/orvalinpdfConverter.exe";
    const QString converter = app("orvalinpdfConverter.exe");
    if (!TestFiles::copyFile(sleeper(), lingering)
        || !TestFiles::writeFile(converter, "#!/bin/sh\nexec '" + QFile::encodeName(lingering) + "' 600\n")
        || !QFile::setPermissions(converter, QFile::permissions(converter) | QFile::ExeOwner))
        return QString();
    return lingering;
#endif
}

bool LauncherSandbox::ageInstanceLock()
{
#ifdef Q_OS_WIN
    return true;
#else
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    const QFileInfoList locks = QDir(path() + "/run").entryInfoList(QDir::Files);
    for (const QFileInfo &lock : locks) {
        QFile file(lock.filePath());
        if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(hourAgo, QFileDevice::FileModificationTime))
            return false;
    }
    return !locks.isEmpty();
#endif
}

bool LauncherSandbox::endAll()
{
#ifdef Q_OS_WIN
    // A launcher shows its splash only once it has ended the old converters
    // and started the new one: ending it earlier would leave a converter
    // starting after the sweep below.
    for (auto &process : m_processes) {
        if (process->state() == QProcess::Running && process->program().endsWith(m_launcherName, Qt::CaseInsensitive))
            TestProcesses::waitForWindow(process->processId(), TestWait::kWait);
    }
#endif
    // The converter runs detached. A launcher starts it after its splash is
    // up, so on Linux one may still be on its way when the first sweep runs:
    // sweep again once the processes started here have ended.
    TestProcesses::endBelow(path(), TestWait::kWait);
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished(TestWait::kWait);
    }
    m_processes.clear();
    return TestProcesses::endBelow(path(), TestWait::kWait);
}

#ifndef Q_OS_WIN
int LauncherSandbox::systemVKey(const QString &kind) const
{
    const QStringList files = QDir(path() + "/tmp").entryList({"qipc_" + kind + "_pdfconvertersm*"}, QDir::Files);
    return files.size() == 1 ? ::ftok(QFile::encodeName(path() + "/tmp/" + files.first()).constData(), 'Q') : -1;
}

int LauncherSandbox::lockWaiters() const
{
    const int id = ::semget(key_t(systemVKey("systemsem")), 1, 0);
    return id == -1 ? -1 : ::semctl(id, 0, GETNCNT);
}

int LauncherSandbox::attachments() const
{
    struct shmid_ds info;
    const int id = ::shmget(key_t(systemVKey("sharedmemory")), 0, 0);
    return id != -1 && ::shmctl(id, IPC_STAT, &info) == 0 ? int(info.shm_nattch) : -1;
}
#endif
