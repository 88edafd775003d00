#pragma once

#include "LauncherSandbox.h"
#include "TestWait.h"

#include <QObject>
#include <QProcess>
#include <QSharedMemory>

#include <memory>

// waitForFinished() fails for a process that has already ended, which the
// event loop of an earlier QTRY may have noticed.
#define WAIT_FINISHED(process) QTRY_COMPARE_WITH_TIMEOUT((process)->state(), QProcess::NotRunning, TestWait::kWait)

// The launcher's outcomes as a user meets them, the same on Linux and on
// Windows: the start path, the hand-off to a running converter, the end at
// once of a second launcher, and a killed launcher that blocks nobody. Real
// processes started from a sandbox (LauncherSandbox), which keeps what
// differs between the systems. tst_Launcher and tst_WinLauncher derive from
// it and add what only their system has.
class LauncherOutcomes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startPathRecordsPidAndRestartsConverter();
    void handOffWritesOnlyByteZero();
    void secondLauncherFromSameFileEndsAtOnce();
    void killedLauncherDoesNotBlock();

protected:
    LauncherSandbox &sandbox() const { return *m_sandbox; }
    QString app(const QString &name = QString()) const { return m_sandbox->app(name); }
    QString recordedPid() const { return m_sandbox->recordedPid(); }
    QProcess *start(const QString &program, const QStringList &arguments = QStringList())
    {
        return m_sandbox->start(program, arguments);
    }
    // Creates the segment "pdfconvertersm" holding `content`, as a
    // converter would.
    static void createSegment(QSharedMemory &segment, const QByteArray &content);
    static QByteArray segmentBytes(const QSharedMemory &segment, int count);

private:
    std::unique_ptr<LauncherSandbox> m_sandbox;
};
