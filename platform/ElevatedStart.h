#pragma once

#include <QObject>

class QProcess;
class QString;

// Starts a downloaded installer with administrator rights and keeps an eye on
// it while this object lives: whether the start was refused, and whether the
// installer still runs. Neither waiting for it nor deleting this object ends
// the installer.
class ElevatedStart : public QObject
{
    Q_OBJECT

public:
    explicit ElevatedStart(QObject *parent = nullptr);
    ~ElevatedStart() override;

    // Starts `file` elevated in `workingDirectory` (the caller's when empty)
    // and does not wait for it. False when the start failed at once: a
    // refused prompt, a missing file, no way to elevate. A start refused
    // later is reported by refused(). Forgets an earlier start.
    bool start(const QString &file, const QString &workingDirectory);

    // Whether the installer of the last start (or the prompt before it)
    // still runs.
    bool isRunning() const;

signals:
    // The start that start() handed over was refused after all (Linux:
    // pkexec's password prompt dismissed or failed, exit status 126 or 127).
    void refused();

private:
    void forget();

#ifdef Q_OS_WIN
    void *m_process = nullptr; // the installer's process handle
#else
    QProcess *m_holder = nullptr; // the shell waiting for pkexec, see start()
#endif
};
