// Both update dialogs under wine64 against the stand-in update service, which
// runs natively on loopback (with-service.sh) and is reached as the
// application's HTTP proxy, as on Linux. The installer it serves is the
// stand-in pdfinstall.exe, which records how the Windows shell started it.
// The update-offer dialog runs in this process (its install button is
// clicked); the automatic one runs in the stand-in converter, which opens it.
// Built with the publisher's key and https, the signature check and the TLS
// of the Windows program are tried the same way (signedInstallers).

#include "CheckExchange.h"
#include "InstallerLocation.h"
#include "MissingGlyphs.h"
#include "NativeWindow.h"
#include "TestCertificates.h"
#include "TestFiles.h"
#include "TestProcesses.h"
#include "TestWait.h"
#include "UpdateW.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkProxy>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TestFiles::readFile;
using TestWait::kLongWait;
using TestWait::kWait;

namespace {

struct InstallerRun
{
    QString commandLine;
    QString workingDirectory;
    QString executable;
};

// The record pdfinstall.exe leaves beside itself: "<name>.run", once it has
// been downloaded and started.
InstallerRun waitForRun(const QString &installer)
{
    const QString record = installer.left(installer.size() - 4) + QStringLiteral(".run");
    InstallerRun run;
    QFile file(record);
    QDeadlineTimer deadline(kLongWait);
    while (!file.exists() && !deadline.hasExpired())
        QTest::qWait(50);
    if (!file.open(QIODevice::ReadOnly))
        return run;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    run.commandLine = lines.value(0);
    run.workingDirectory = lines.value(1);
    run.executable = lines.value(2);
    return run;
}

// The program part of a command line, as Windows splits it off.
QString programOf(const QString &commandLine, QString *rest)
{
    int end = 0;
    QString program;
    if (commandLine.startsWith(QLatin1Char('"'))) {
        end = commandLine.indexOf(QLatin1Char('"'), 1);
        program = commandLine.mid(1, end - 1);
        ++end;
    } else {
        end = commandLine.indexOf(QLatin1Char(' '));
        program = commandLine.left(end);
    }
    *rest = end < 0 ? QString() : commandLine.mid(end).trimmed();
    return program;
}

bool samePath(const QString &a, const QString &b)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(a))
                   .compare(QDir::cleanPath(QDir::fromNativeSeparators(b)), Qt::CaseInsensitive)
            == 0;
}

// The update-offer dialog as its owner opens it, with what the user reads
// and clicks.
struct OfferDialog
{
    OfferDialog() { dialog->show(); }

    QWidget owner;
    UpdateW *dialog = new UpdateW(&owner);
    QLabel *version = dialog->findChild<QLabel *>(QStringLiteral("updateinfo"));
    QPushButton *install = dialog->findChild<QPushButton *>(QStringLiteral("install"));
};

void useService(const QString &hostPort)
{
    const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
    QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, hostPort.left(colon), quint16(hostPort.mid(colon + 1).toUInt())));
}

// Built with a publisher's key or for https, the tree is there for what
// those options change (signedInstallers); the service it runs with signs
// with the test suite's key and speaks TLS with an authority of its own.
bool builtWithUpdateOptions()
{
    return !CheckExchange::installerPublicKey().isEmpty()
            || CheckExchange::checkUrl().scheme() == QLatin1String("https");
}

} // namespace

class tst_WinUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updateOfferDialog();
    void automaticDialog_data();
    void automaticDialog();
    void signedInstallers_data();
    void signedInstallers();

private:
    QString m_service;
    QString m_localAppData;
    QByteArray m_installer;
};

void tst_WinUpdate::initTestCase()
{
    m_service = qEnvironmentVariable("ORVALIN_TEST_UPDATE_SERVICE");
    QVERIFY2(m_service.contains(QLatin1Char(':')), "ORVALIN_TEST_UPDATE_SERVICE (host:port) is not set");
    m_localAppData = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    QVERIFY2(!m_localAppData.isEmpty(), "LOCALAPPDATA is not set");
    m_installer = readFile(PDFINSTALL_BINARY);
    QVERIFY(m_installer.startsWith("MZ"));
    // The per-user folders of the shipped program.
    QCoreApplication::setApplicationName(QStringLiteral("orvalinpdfLaunch"));
}

void tst_WinUpdate::updateOfferDialog()
{
    if (builtWithUpdateOptions())
        QSKIP("built with the update options: signedInstallers tries them");
    const QString folder = InstallerLocation::folder();
    QCOMPARE(folder, m_localAppData + "/orvalinpdfpdfconverter/output");
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(folder));
    // A stale installer is replaced, not appended to.
    QVERIFY(TestFiles::writeFile(folder + "/pdfinstall.exe", "stale"));

    useService(m_service);
    OfferDialog offer;
    QVERIFY(offer.version && offer.install);
    QTRY_COMPARE_WITH_TIMEOUT(offer.version->text(), QStringLiteral("v8.9.2.0"), kWait);
    // The offer as the user reads it, to look at: the Chinese texts drawn
    // with the font Wine stands in for Microsoft YaHei, no empty boxes.
    const QStringList missing = textsWithoutGlyphs(offer.dialog);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral("; "))));
    QVERIFY(QDir().mkpath(QFileInfo(QStringLiteral(OFFER_SCREENSHOT)).path()));
    QVERIFY(offer.dialog->grab().save(QStringLiteral(OFFER_SCREENSHOT)));
    QTest::mouseClick(offer.install, Qt::LeftButton);

    const InstallerRun run = waitForRun(folder + "/pdfinstall.exe");
    QVERIFY2(!run.commandLine.isEmpty(), "the installer did not run");
    QCOMPARE(readFile(folder + "/pdfinstall.exe"), m_installer);
    QString arguments;
    // The shell got the path with "/" separators and passed it on as it was.
    QCOMPARE(programOf(run.commandLine, &arguments), folder + "/pdfinstall.exe");
    QCOMPARE(arguments, QString());
    QVERIFY2(samePath(run.executable, folder + "/pdfinstall.exe"), qPrintable(run.executable));
    QVERIFY2(samePath(run.workingDirectory, folder), qPrintable(run.workingDirectory));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void tst_WinUpdate::automaticDialog_data()
{
    QTest::addColumn<QString>("updatedir"); // "<tmp>" stands for the test's folder, in Windows' notation
    QTest::addColumn<QString>("installer"); // the installer file as the dialog forms it
    QTest::newRow("no convert.ini") << QString() << m_localAppData + "/orvalinpdfConpdfconverter/output/pdfinstall.exe";
    QTest::newRow("folder of convert.ini") << "<tmp>\\setup"
                                           << "<tmp>\\setup\\pdfinstall.exe";
    QTest::newRow("trailing backslash") << "<tmp>\\setup\\"
                                        << "<tmp>\\setup\\\\pdfinstall.exe";
}

void tst_WinUpdate::automaticDialog()
{
    if (builtWithUpdateOptions())
        QSKIP("built with the update options: signedInstallers tries them");
    QFETCH(QString, updatedir);
    QFETCH(QString, installer);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tmp = QDir::toNativeSeparators(dir.path());
    updatedir.replace("<tmp>", tmp);
    installer.replace("<tmp>", tmp);

    const QString converter = dir.path() + "/app/orvalinpdfConverter.exe";
    QVERIFY(QDir().mkpath(dir.path() + "/app"));
    QVERIFY(QDir().mkpath(dir.path() + "/cwd"));
    QVERIFY(QDir().mkpath(dir.path() + "/setup"));
    QVERIFY(QFile::copy(CONVERTER_BINARY, converter));
    if (!updatedir.isEmpty()) {
        QSettings ini(dir.path() + "/app/convert.ini", QSettings::IniFormat);
        ini.setValue("Setting/updatedir", updatedir);
    }
    const QString installerFolder = QFileInfo(QDir::fromNativeSeparators(installer)).absolutePath();
    QVERIFY(QDir(installerFolder).removeRecursively());
    QVERIFY(QDir().mkpath(installerFolder));

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setWorkingDirectory(dir.path() + "/cwd");
    process.start(converter, {"--auto-update", "--update-service", m_service});
    QVERIFY(process.waitForStarted(kWait));

    const InstallerRun run = waitForRun(installer);
    TestProcesses::endBelow(dir.path());
    process.waitForFinished(kWait);
    QVERIFY2(!run.commandLine.isEmpty(), "the installer did not run");
    QCOMPARE(readFile(installer), m_installer);
    QString arguments;
    QCOMPARE(programOf(run.commandLine, &arguments), installer);
    QCOMPARE(arguments, QString());
    QVERIFY2(samePath(run.executable, installer), qPrintable(run.executable));
    // An empty working directory: the installer works where the converter does.
    QVERIFY2(samePath(run.workingDirectory, dir.path() + "/cwd"), qPrintable(run.workingDirectory));
}

void tst_WinUpdate::signedInstallers_data()
{
    QTest::addColumn<QString>("service"); // the environment variable naming it
    QTest::addColumn<bool>("trusted");    // the service's authority is trusted
    QTest::addColumn<bool>("starts");
    QTest::newRow("signed") << "ORVALIN_TEST_UPDATE_SERVICE" << true << true;
    QTest::newRow("wrong signature") << "ORVALIN_TEST_UPDATE_SERVICE_BAD" << true << false;
    QTest::newRow("untrusted service") << "ORVALIN_TEST_UPDATE_SERVICE" << false << false;
}

void tst_WinUpdate::signedInstallers()
{
    QFETCH(QString, service);
    QFETCH(bool, trusted);
    QFETCH(bool, starts);
    const bool isSigned = !CheckExchange::installerPublicKey().isEmpty();
    const bool https = CheckExchange::checkUrl().scheme() == QLatin1String("https");
    if (!isSigned && !https)
        QSKIP("built without a publisher's key and without https: nothing to check here");
    if (isSigned && CheckExchange::installerPublicKey() != QByteArray(TEST_SUITE_PUBLIC_KEY))
        QSKIP("built with a publisher's key other than the test suite's (test-suite.pub)");
    if (!isSigned && service.endsWith(QLatin1String("_BAD")))
        QSKIP("built without a publisher's key: installers are not checked");
    if (!https && !trusted)
        QSKIP("built for http: the service's certificate is not asked for");
    const QString address = qEnvironmentVariable(qPrintable(service));
    QVERIFY2(address.contains(QLatin1Char(':')), qPrintable(service + " (host:port) is not set"));

    std::unique_ptr<TrustedAuthority> trust;
    if (https && trusted) {
        const QList<QSslCertificate> authority
                = QSslCertificate::fromPath(QStringLiteral("Z:") + qEnvironmentVariable("ORVALIN_TEST_CA"));
        QVERIFY2(authority.size() == 1, "ORVALIN_TEST_CA names no certificate");
        trust.reset(new TrustedAuthority(authority.first()));
    }
    const QString folder = InstallerLocation::folder();
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(folder));
    useService(address);
    OfferDialog offer;
    QVERIFY(offer.version && offer.install);
    if (trusted) {
        QTRY_COMPARE_WITH_TIMEOUT(offer.version->text(), QStringLiteral("v8.9.2.0"), kWait);
        QTest::mouseClick(offer.install, Qt::LeftButton);
    }
    if (starts) {
        const InstallerRun run = waitForRun(folder + "/pdfinstall.exe");
        QVERIFY2(!run.commandLine.isEmpty(), "the installer did not run");
        QCOMPARE(readFile(folder + "/pdfinstall.exe"), m_installer);
    } else {
        // A failed check or download destroys the window; nothing is
        // started and no file is left to be run by hand.
        QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(offer.dialog), kLongWait);
        QTest::qWait(2000);
        QVERIFY(!QFile::exists(folder + "/pdfinstall.run"));
        QVERIFY(!QFile::exists(folder + "/pdfinstall.exe"));
    }
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

QTEST_MAIN(tst_WinUpdate)
#include "tst_winupdate.moc"
