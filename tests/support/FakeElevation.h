#pragma once

#include "TestWait.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Puts a fake `pkexec` first on PATH for the lifetime of the object. The fake
// records the command it runs and the folder it runs it in, then runs it the
// way the real helper would after a granted prompt: in the caller's folder
// with --keep-cwd, in $HOME without (an old one takes the option for the
// command and fails). Its folder is open to every user, so a
// test running as root can call it as another one.
//
// installerScript() gives the bytes of a shell installer that records how it
// was started (its own path and working directory); it serves both the pkexec
// route and a direct start as root.
class FakeElevation
{
public:
    struct Record
    {
        QString workingDirectory;
        QStringList arguments;
    };

    // `version` is what `pkexec --version` reports; --keep-cwd is understood
    // from 121 on.
    explicit FakeElevation(const QByteArray &version = "121");
    ~FakeElevation();

    bool isValid() const { return m_valid; }

    // From now on the fake pkexec refuses like a dismissed password prompt:
    // it records the call, runs nothing and exits with 126.
    void refuse();

    // Calls of the fake pkexec so far, oldest first: the folder the command
    // runs in and the command (pkexec's own options left out).
    QList<Record> pkexecCalls() const;

    // An installer that writes "<path of itself>\n<working directory>\n" to
    // installerRecordFile() when run.
    QByteArray installerScript() const;
    QString installerRecordFile() const;
    // The same installer, which then stays until releaseInstaller() (or the
    // end of this object, or a minute) and leaves installerEndFile() as it ends.
    QByteArray waitingInstallerScript() const;
    void releaseInstaller();
    QString installerEndFile() const;
    // Waits (generously) for the installer's record; empty when it never ran.
    Record waitForInstallerRun(int timeoutMs = TestWait::kWait) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
    bool m_valid = false;
};
