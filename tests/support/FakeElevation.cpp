#include "FakeElevation.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

FakeElevation::FakeElevation(const QByteArray &version)
{
    if (!m_dir.isValid())
        return;
    const QString script = m_dir.filePath(QStringLiteral("pkexec"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QByteArray calls = QFile::encodeName(m_dir.filePath(QStringLiteral("calls")));
    // Like the real pkexec: the program runs in the caller's folder only with
    // --keep-cwd, otherwise in the home folder; before version 121 there is no
    // such option, and it is taken for the program.
    const bool keepsCwd = QString::fromLatin1(version).section(QLatin1Char('.'), 0, 0).toInt() >= 121;
    file.write("#!/bin/sh\n"
               "if [ \"$1\" = --version ]; then echo 'pkexec version "
               + version + "'; exit 0; fi\n"
               + (keepsCwd ? "if [ \"$1\" = --keep-cwd ]; then shift; else cd \"$HOME\" || exit 127; fi\n"
                           : "cd \"$HOME\" || exit 127\n")
               + "mkdir -p '" + calls
               + "'\n"
                 "n=$(ls '"
               + calls
               + "' | wc -l)\n"
                 "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '"
               + calls
               + "/'$n.tmp\n"
                 "mv '"
               + calls + "/'$n.tmp '" + calls
               + "/'$n\n"
                 "if [ -e '"
               + QFile::encodeName(m_dir.filePath(QStringLiteral("refuse")))
               + "' ]; then exit 126; fi\n"
                 "exec \"$@\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    // A test may run the caller as another user, as root must to reach pkexec.
    QFile::setPermissions(m_dir.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::WriteOther
                                  | QFile::ExeOther);

    m_oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    m_valid = true;
}

FakeElevation::~FakeElevation()
{
    if (m_valid)
        qputenv("PATH", m_oldPath);
}

QList<FakeElevation::Record> FakeElevation::pkexecCalls() const
{
    QList<Record> records;
    const QDir calls(m_dir.filePath(QStringLiteral("calls")));
    for (int n = 0;; ++n) {
        QFile file(calls.filePath(QString::number(n)));
        if (!file.open(QIODevice::ReadOnly))
            break;
        QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        Record record;
        record.workingDirectory = lines.value(0);
        record.arguments = lines.mid(1);
        records.append(record);
    }
    return records;
}

QString FakeElevation::installerRecordFile() const
{
    return m_dir.filePath(QStringLiteral("installer-run"));
}

QByteArray FakeElevation::installerScript() const
{
    const QByteArray record = QFile::encodeName(installerRecordFile());
    return "#!/bin/sh\n"
           "{ printf '%s\\n' \"$0\"; pwd; } > '"
            + record
            + ".tmp'\n"
              "mv '"
            + record + ".tmp' '" + record + "'\n";
}

void FakeElevation::refuse()
{
    QFile(m_dir.filePath(QStringLiteral("refuse"))).open(QIODevice::WriteOnly);
}

QByteArray FakeElevation::waitingInstallerScript() const
{
    const QByteArray dir = QFile::encodeName(m_dir.path());
    return installerScript() + "i=0\nwhile [ $i -lt 600 ] && [ -d '" + dir + "' ] && [ ! -e '" + dir
            + "/release' ]; do sleep 0.1; i=$((i+1)); done\n: > '" + QFile::encodeName(installerEndFile()) + "'\n";
}

void FakeElevation::releaseInstaller()
{
    QFile(m_dir.filePath(QStringLiteral("release"))).open(QIODevice::WriteOnly);
}

QString FakeElevation::installerEndFile() const
{
    return m_dir.filePath(QStringLiteral("installer-end"));
}

FakeElevation::Record FakeElevation::waitForInstallerRun(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QFile file(installerRecordFile());
    while (!file.exists() && !deadline.hasExpired())
        QThread::msleep(20);
    Record record;
    if (!file.open(QIODevice::ReadOnly))
        return record;
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    record.arguments = QStringList{lines.value(0)};
    record.workingDirectory = lines.value(1);
    return record;
}
