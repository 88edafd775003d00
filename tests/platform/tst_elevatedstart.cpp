#include "FakeElevation.h"
#include "TestWait.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The elevated start of a downloaded installer, through the real entry of a
// separate process: the installer runs in the folder it was given, whether
// pkexec asks for the password or root starts it directly; an older pkexec
// still starts it.
class tst_ElevatedStart : public QObject
{
    Q_OBJECT

private slots:
    void installerRunsInGivenFolder_data();
    void installerRunsInGivenFolder();
    void refusedPromptIsReported();
};

void tst_ElevatedStart::installerRunsInGivenFolder_data()
{
    QTest::addColumn<bool>("throughPkexec");
    QTest::addColumn<QByteArray>("pkexecVersion");
    QTest::newRow("as a user, through pkexec") << true << QByteArray("121");
    // Before polkit 121 pkexec has no --keep-cwd: the installer still starts,
    // in the home folder.
    QTest::newRow("as a user, through an older pkexec") << true << QByteArray("0.105");
    QTest::newRow("as root, directly") << false << QByteArray("121");
}

void tst_ElevatedStart::installerRunsInGivenFolder()
{
    QFETCH(bool, throughPkexec);
    QFETCH(QByteArray, pkexecVersion);
    const bool root = ::geteuid() == 0;
    QStringList command{ELEVATEDSTART_PROBE};
    if (throughPkexec && root) {
        // Only a user that is not root goes through pkexec.
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("needs setpriv to run as another user");
        command = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    } else if (!throughPkexec && !root) {
        QSKIP("only root starts the installer directly");
    }

    FakeElevation elevation(pkexecVersion);
    QVERIFY(elevation.isValid());
    QTemporaryDir folder;
    QTemporaryDir home;
    QVERIFY(folder.isValid() && home.isValid());
    const QFile::Permissions open
            = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(folder.path(), open));
    QVERIFY(QFile::setPermissions(home.path(), open));
    const QString installer = folder.path() + "/pdfinstall.exe";
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(elevation.installerScript());
    file.close();
    QVERIFY(file.setPermissions(open));

    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(command.first(), command.mid(1) + QStringList{installer, folder.path()});
    QVERIFY(probe.waitForFinished(TestWait::kWait));
    QCOMPARE(probe.exitCode(), 0);

    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{installer});
    const bool keepsFolder = !throughPkexec || pkexecVersion == "121";
    QCOMPARE(run.workingDirectory, keepsFolder ? folder.path() : home.path());
    QCOMPARE(elevation.pkexecCalls().size(), throughPkexec ? 1 : 0);
    if (throughPkexec)
        QCOMPARE(elevation.pkexecCalls().first().arguments, QStringList{installer});
}

void tst_ElevatedStart::refusedPromptIsReported()
{
    QStringList command{ELEVATEDSTART_PROBE};
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("needs setpriv to run as another user");
        command = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    }
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    elevation.refuse();
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QFile::setPermissions(folder.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                          | QFile::ExeOther));
    const QString installer = folder.path() + "/pdfinstall.exe";
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(elevation.installerScript());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));

    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(command.first(), command.mid(1) + QStringList{installer, folder.path(), "--wait"});
    QVERIFY(probe.waitForFinished(TestWait::kWait));
    QCOMPARE(probe.exitCode(), 3);
    QCOMPARE(elevation.pkexecCalls().size(), 1);
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
}

QTEST_GUILESS_MAIN(tst_ElevatedStart)
#include "tst_elevatedstart.moc"
