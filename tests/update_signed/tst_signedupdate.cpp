#include "CheckExchange.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "ProductIdentity.h"
#include "SigningKey.h"
#include "TestCertificates.h"
#include "TestWait.h"
#include "UpdateService.h"
#include "UpdateSession.h"
#include "UpdateTestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// What a build with the publisher's key (and https) adds to the update
// session: only an installer whose bytes carry the publisher's signature is
// started, nothing else is left on disk, and the service's certificate must
// be trusted. The service is the stand-in's own, signing with the test
// suite's throwaway key.
class tst_SignedUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onlySignedInstallersStart_data();
    void onlySignedInstallersStart();
    void untrustedServiceFailsTheCheck();
    void httpInstallerUrlFailsTheCheck();
    void installerPastTheMaximum();

private:
    // Serves the check and the installer as `service` does, over TLS when the
    // build asks for https; `tamper` may change the answer.
    void serve(const UpdateService &service,
               const std::function<HttpResponse(const HttpRequest &, HttpResponse)> &tamper = {});

    bool m_signed = false;
    bool m_https = false;
    SigningKey m_key;
    std::unique_ptr<UpdateTest::ConfigFolder> m_config;
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<LoopbackUpdateServer> m_server;
};

void tst_SignedUpdate::initTestCase()
{
    QString error;
    m_key = SigningKey::fromFile(QStringLiteral(TEST_SIGNING_KEY), &error);
    QVERIFY2(m_key.isValid(), qPrintable(error));
    m_signed = !CheckExchange::installerPublicKey().isEmpty();
    m_https = CheckExchange::checkUrl().scheme() == QLatin1String("https");
    if (!m_signed && !m_https)
        QSKIP("built without a publisher's key and without https: nothing to check here");
    if (m_signed && CheckExchange::installerPublicKey() != m_key.publicKey().toBase64())
        QSKIP("built with a publisher's key other than the test suite's (test-suite.pub)");
    m_config.reset(new UpdateTest::ConfigFolder);
    QVERIFY(m_config->isValid());
    if (m_https) {
        m_certificates.reset(new TestCertificates({QStringLiteral(ORVALIN_UPDATE_HOST).section(':', 0, 0)}));
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
    }
}

void tst_SignedUpdate::serve(const UpdateService &service,
                             const std::function<HttpResponse(const HttpRequest &, HttpResponse)> &tamper)
{
    // The old server gives the application proxy up when it goes: first.
    m_server.reset();
    m_server.reset(new LoopbackUpdateServer);
    QVERIFY(m_server->isListening());
    if (m_https)
        QVERIFY(m_server->setTls(m_certificates->serverChain(), m_certificates->serverKey()));
    m_server->setHandler([service, tamper](const HttpRequest &request) {
        HttpResponse response = service.answer(request);
        return tamper ? tamper(request, response) : response;
    });
}

void tst_SignedUpdate::onlySignedInstallersStart_data()
{
    QTest::addColumn<QString>("signature"); // "good", "none", "wrong", "malformed"
    QTest::addColumn<bool>("changeOneByte");
    QTest::addColumn<bool>("cutHalfway");
    QTest::addColumn<bool>("starts");
    QTest::newRow("signed") << "good" << false << false << true;
    QTest::newRow("no signature") << "none" << false << false << false;
    QTest::newRow("wrong signature") << "wrong" << false << false << false;
    QTest::newRow("malformed signature") << "malformed" << false << false << false;
    QTest::newRow("one byte changed after signing") << "good" << true << false << false;
    QTest::newRow("download cut halfway") << "good" << false << true << false;
}

void tst_SignedUpdate::onlySignedInstallersStart()
{
    QFETCH(QString, signature);
    QFETCH(bool, changeOneByte);
    QFETCH(bool, cutHalfway);
    QFETCH(bool, starts);
    if (!m_signed && signature != QLatin1String("good"))
        QSKIP("built without a publisher's key: installers are not checked");

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    QVERIFY(m_config->resetInstallerFolder());
    QTemporaryDir served;
    QVERIFY(served.isValid());
    const QByteArray installer = UpdateTest::paddedInstaller(elevation, 3 * 1000 * 1000);
    QFile file(served.filePath("pdfinstall.exe"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(installer) == installer.size());
    file.close();

    UpdateServiceOptions options;
    options.installerFile = file.fileName();
    options.signingKey = signature == QLatin1String("none") ? SigningKey() : m_key;
    options.badSignature = signature == QLatin1String("wrong");
    const UpdateService service(options);
    serve(service, [&](const HttpRequest &request, HttpResponse response) {
        if (request.path == CheckExchange::checkPath().toLatin1()) {
            if (signature == QLatin1String("malformed"))
                response.body.replace("\"software_signature\":\"", "\"software_signature\":\"!");
            return response;
        }
        if (changeOneByte)
            response.body[response.body.size() / 2] = response.body.at(response.body.size() / 2) ^ 1;
        if (cutHalfway)
            response.cutAfter = response.body.size() / 2;
        return response;
    });

    // As the dialog's owner would: before the session makes its request.
    std::unique_ptr<TrustedAuthority> trust;
    if (m_https)
        trust.reset(new TrustedAuthority(m_certificates->authority()));
    UpdateSession session;
    QSignalSpy offered(&session, &UpdateSession::offered);
    QSignalSpy failed(&session, &UpdateSession::downloadFailed);
    QSignalSpy started(&session, &UpdateSession::installerStarted);
    session.startCheck(ProductIdentity());
    QTRY_COMPARE_WITH_TIMEOUT(offered.size(), 1, TestWait::kWait);
    QVERIFY(session.downloadUrl().startsWith(m_https ? "https://" : "http://"));
    session.startDownload({InstallerLocation::file(), InstallerLocation::folder(), 1000000});
    QTRY_COMPARE_WITH_TIMEOUT(started.size() + failed.size(), 1, TestWait::kWait);

    QCOMPARE(started.size(), starts ? 1 : 0);
    if (starts) {
        QCOMPARE(elevation.waitForInstallerRun().arguments, QStringList{InstallerLocation::file()});
        QFile stored(InstallerLocation::file());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), installer);
    } else {
        // Nothing was started, and nothing is left to be run by hand.
        QVERIFY(elevation.pkexecCalls().isEmpty());
        QVERIFY(!QFile::exists(elevation.installerRecordFile()));
        QVERIFY(!QFile::exists(InstallerLocation::file()));
    }
}

void tst_SignedUpdate::untrustedServiceFailsTheCheck()
{
    if (!m_https)
        QSKIP("built for http: the service's certificate is not asked for");
    serve(UpdateService());
    UpdateSession session;
    QSignalSpy offered(&session, &UpdateSession::offered);
    QSignalSpy failed(&session, &UpdateSession::checkFailed);
    session.startCheck(ProductIdentity());
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, TestWait::kWait);
    QCOMPARE(offered.size(), 0);
}

void tst_SignedUpdate::httpInstallerUrlFailsTheCheck()
{
    if (!m_https)
        QSKIP("built for http: installer URLs of either scheme are fetched");
    // The offer's URL turned into http://: an unauthenticated file for an
    // elevated start.
    serve(UpdateService(), [](const HttpRequest &, HttpResponse response) {
        response.body.replace("https://", "http://");
        return response;
    });
    TrustedAuthority trust(m_certificates->authority());
    UpdateSession session;
    QSignalSpy offered(&session, &UpdateSession::offered);
    QSignalSpy failed(&session, &UpdateSession::checkFailed);
    session.startCheck(ProductIdentity());
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, TestWait::kWait);
    QCOMPARE(offered.size(), 0);
    QVERIFY(session.downloadUrl().isEmpty());
}

void tst_SignedUpdate::installerPastTheMaximum()
{
    const qint64 maximum = UpdateSession::maxInstallerBytes();
    if (maximum > 64 * 1024 * 1024)
        QSKIP("the maximum is too large to pass in a test (tools/dev.sh builds this test with 8 MiB)");
    QVERIFY(m_config->resetInstallerFolder());
    FakeElevation elevation;
    // Sent without a length, so only the bytes themselves pass the maximum.
    serve(UpdateService(), [maximum](const HttpRequest &request, HttpResponse response) {
        if (request.path != CheckExchange::checkPath().toLatin1()) {
            response.body.clear();
            response.generatedSize = maximum + 4 * 1024 * 1024;
            response.announcedLength = -2;
        }
        return response;
    });
    std::unique_ptr<TrustedAuthority> trust;
    if (m_https)
        trust.reset(new TrustedAuthority(m_certificates->authority()));
    UpdateSession session;
    QSignalSpy offered(&session, &UpdateSession::offered);
    QSignalSpy failed(&session, &UpdateSession::downloadFailed);
    QSignalSpy stored(&session, &UpdateSession::chunkStored);
    session.startCheck(ProductIdentity());
    QTRY_COMPARE_WITH_TIMEOUT(offered.size(), 1, TestWait::kWait);
    session.startDownload({InstallerLocation::file(), InstallerLocation::folder(), 1000000});
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, TestWait::kWait);

    QVERIFY(!stored.isEmpty());
    QVERIFY(stored.last().at(1).toLongLong() <= maximum);
    QVERIFY(!QFile::exists(InstallerLocation::file()));
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
}

QTEST_GUILESS_MAIN(tst_SignedUpdate)
#include "tst_signedupdate.moc"
