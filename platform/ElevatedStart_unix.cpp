#include "ElevatedStart.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace {

// pkexec learnt --keep-cwd in polkit 121; an older one takes the option for
// the program's name and starts nothing. It prints "pkexec version 0.105"
// or "pkexec version 121".
bool keepsWorkingDirectory(const QString &pkexec)
{
    QProcess version;
    version.start(pkexec, QStringList{QStringLiteral("--version")}, QIODevice::ReadOnly);
    if (!version.waitForFinished(10000)) {
        version.kill();
        version.waitForFinished();
        return false;
    }
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("version\\s+(\\d+)"))
                                                  .match(QString::fromLatin1(version.readAllStandardOutput()));
    return match.hasMatch() && match.captured(1).toInt() >= 121;
}

// Started directly (as root), the file goes through the shell's exec, and a
// shell runs a file the kernel cannot start as a script of its own: a
// downloaded program for another system would be read as shell commands,
// with administrator rights. Only what the kernel starts itself goes there:
// a program (ELF) or a script that names its interpreter ("#!"). pkexec
// starts its program without such a fallback.
bool kernelStarts(const QString &file)
{
    QFile head(file);
    if (!head.open(QIODevice::ReadOnly))
        return false;
    const QByteArray magic = head.read(4);
    return magic.startsWith("#!") || magic == QByteArray::fromHex("7f454c46");
}

// Like a detached start, the shell leaves the program's session, so that a
// terminal closing or a Ctrl-C there does not reach the installer.
class SessionLeader : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override { ::setsid(); }
};

} // namespace

ElevatedStart::ElevatedStart(QObject *parent)
    : QObject(parent)
{}

// Deleting the holder kills the shell, never the installer: see start().
ElevatedStart::~ElevatedStart()
{
    forget();
}

void ElevatedStart::forget()
{
    if (!m_holder)
        return;
    QObject::disconnect(m_holder, nullptr, this, nullptr);
    m_holder->kill();
    m_holder->waitForFinished();
    delete m_holder;
    m_holder = nullptr;
}

// The Linux counterpart of the shell's "runas": the downloaded file (made
// executable for its owner when it was written) is started through pkexec,
// which asks for the administrator's password; as root, directly.
//
// pkexec's exit status says whether the start was refused (126: the prompt
// was dismissed, 127: not authorised, or pkexec failed), and only its parent
// learns it. Yet the installer must outlive this object and the
// program, as a detached start would have it, and a QProcess kills its
// child when it goes. So the child held here is a shell that waits for
// pkexec: its status is pkexec's, and killing it leaves pkexec (and the
// installer pkexec becomes) running under a new parent. Two details make
// that hold:
// - pkexec runs in a subshell, and "exit $?" follows it, so that no shell
//   replaces itself with pkexec (a shell may exec its last command);
// - the subshell writes one byte before it becomes pkexec, and start()
//   returns only once that byte is there: from then on pkexec's process
//   exists apart from the shell, and killing the shell cannot take it along.
// The installer's output goes to the program's error output (the held
// shell's standard output carries only that byte); its input and error
// output are the program's own, as with a detached start.
bool ElevatedStart::start(const QString &file, const QString &workingDirectory)
{
    forget();
    const QFileInfo info(file);
    if (!info.isFile())
        return false;

    QStringList command{file};
    if (::geteuid() == 0) {
        if (!kernelStarts(file))
            return false;
    } else {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (pkexec.isEmpty())
            return false;
        // Without --keep-cwd pkexec changes to the target user's home, and the
        // installer does not start in the folder it was given; an older pkexec
        // still starts it there.
        command = QStringList{pkexec, info.absoluteFilePath()};
        if (keepsWorkingDirectory(pkexec))
            command.insert(1, QStringLiteral("--keep-cwd"));
    }

    auto *holder = new SessionLeader(this);
    holder->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder->setInputChannelMode(QProcess::ForwardedInputChannel);
    holder->setWorkingDirectory(workingDirectory);
    holder->start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"), QStringLiteral("(printf x; exec \"$@\" >&2); exit $?"),
                              QStringLiteral("sh")}
                          + command,
                  QIODevice::ReadOnly);
    if (!holder->waitForReadyRead(30000)) {
        holder->kill();
        holder->waitForFinished();
        delete holder;
        return false;
    }
    m_holder = holder;
    connect(holder, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                if (status == QProcess::NormalExit && (code == 126 || code == 127))
                    emit refused();
            });
    return true;
}

bool ElevatedStart::isRunning() const
{
    return m_holder && m_holder->state() != QProcess::NotRunning;
}
