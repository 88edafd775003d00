#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A folder of its own for a test of the launcher as a user meets it: the
// launcher copied into app/, the processes the test starts, the pid record,
// and at the end no process left that runs from the folder. Here lies what
// differs between Linux and Windows: how processes are started and ended,
// where the pid record and the instance lock live, and which program stands
// in for a converter that only sleeps.
//
// On Linux every process started here sees only the folder's configuration,
// runtime folder and TMPDIR; so does this process's shared memory (its
// TMPDIR points into the folder while the object lives), which gives the
// segment "pdfconvertersm" a key of its own. On Windows the pid record lives
// where Windows keeps it, in the user's local application data folder: it
// is removed before and after.
class LauncherSandbox
{
public:
    // `launcher` is copied into app/ under its own name, with `splashModule`
    // (when given) beside it.
    explicit LauncherSandbox(const QString &launcher, const QString &splashModule = QString());
    ~LauncherSandbox();
    LauncherSandbox(const LauncherSandbox &) = delete;
    LauncherSandbox &operator=(const LauncherSandbox &) = delete;

    // Empty when the folder is ready, else what went wrong.
    QString setUpError() const { return m_error; }

    QString path() const { return m_dir.path(); }
    // A file in app/, by default the launcher.
    QString app(const QString &name = QString()) const;

    // The launcher's pid record: lunach.ini in `folder` of the per-user data.
    QString recordPath(const QString &folder = QStringLiteral("orvalinpdfConverter")) const;
    QString recordedPid(const QString &folder = QStringLiteral("orvalinpdfConverter")) const;

    // A process that sees only this folder's per-user places, not started
    // yet; ended and deleted with the sandbox.
    QProcess *prepare();
    // The same, started, its output passed on to the test's.
    QProcess *start(const QString &program, const QStringList &arguments = QStringList());

    // A program that sleeps as many seconds as its first argument says.
    static QString sleeper();
    // Starts a process whose image is not the converter's but whose command
    // line names "orvalinpdfConverter.exe".
    QProcess *startNamingTheConverter();
    // Puts a converter into app/ that the launcher starts and that then lives
    // on without ever holding the segment; its processes run the executable
    // returned (empty when it could not be made).
    QString installLingeringConverter();

    // Makes the instance lock of a launcher that runs look an hour old, as
    // if it had run that long (Windows' named mutex has no age); false when
    // it cannot.
    bool ageInstanceLock();

    // Ends every process started here and every one that runs from the
    // folder; false when some are left.
    bool endAll();

#ifndef Q_OS_WIN
    // The System V key behind the segment ("sharedmemory") or its lock
    // ("systemsem"): Qt derives it from a key file in TMPDIR. -1 without one.
    int systemVKey(const QString &kind) const;
    // How many processes (or threads) wait for the segment's lock; -1 when
    // there is no lock.
    int lockWaiters() const;
    // How many processes are attached to the segment; -1 when there is none.
    int attachments() const;
#endif

private:
    QTemporaryDir m_dir;
    QString m_launcherName;
    QString m_error;
    QByteArray m_savedTmpDir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
