#include "CheckExchange.h"
#include "InstallerSignature.h"
#include "LoopbackUpdateServer.h"
#include "MiniHttpServer.h"
#include "SigningKey.h"
#include "TestCertificates.h"
#include "TestWait.h"
#include "UpdateService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The service as a process on a port of its choosing.
class Service
{
public:
    ~Service()
    {
        m_process.kill();
        m_process.waitForFinished(TestWait::kWait);
    }

    bool start(const QStringList &arguments)
    {
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(SERVICE_BINARY),
                        QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        const QRegularExpression listening(QStringLiteral("update service on 127.0.0.1:(\\d+)"));
        QByteArray err;
        while (m_process.waitForReadyRead(TestWait::kWait)) {
            err += m_process.readAllStandardError();
            const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(err));
            if (match.hasMatch()) {
                port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        qWarning() << "service did not start:" << err;
        return false;
    }

    // Routes this process's traffic through the service, as the program's is.
    void beProxy() const
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));
    }

    quint16 port = 0;

private:
    QProcess m_process;
};

struct Answer
{
    QNetworkReply::NetworkError error = QNetworkReply::UnknownNetworkError;
    int status = 0;
    QByteArray body;
};

Answer fetch(const QUrl &url, bool post)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/raw"));
    QNetworkReply *reply = post ? manager.post(request, QByteArray("{}")) : manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    Answer answer;
    if (!finished.wait(TestWait::kWait))
        return answer;
    answer.error = reply->error();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    delete reply;
    return answer;
}

QJsonObject offerOf(const Answer &answer)
{
    return QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("responseData")).toObject();
}

QUrl checkUrl(const QString &scheme)
{
    QUrl url = CheckExchange::checkUrl();
    url.setScheme(scheme);
    return url;
}

} // namespace

class tst_UpdateService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void offersCarryTheSignature_data();
    void offersCarryTheSignature();
    void httpsThroughTheProxy();
    void httpsDirectly();
    void tunnelInProcess();

private:
    QTemporaryDir m_dir;
    QString m_keyFile;
    QByteArray m_publicKey;
};

void tst_UpdateService::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const SigningKey key = SigningKey::generate();
    m_keyFile = m_dir.filePath(QStringLiteral("update-signing.key"));
    QFile file(m_keyFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(key.seed().toBase64() + '\n');
    m_publicKey = key.publicKey().toBase64();
}

void tst_UpdateService::cleanup()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void tst_UpdateService::offersCarryTheSignature_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("signature"); // "none", "holds", "wrong"

    const QString installer = m_dir.filePath(QStringLiteral("served.exe"));
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100000, 'i') + "the end");
    file.close();

    const QString key = QStringLiteral("--signing-key");
    const QString size = QStringLiteral("--installer-size");
    QTest::newRow("no key") << QStringList{size, QStringLiteral("3000")} << QStringLiteral("none");
    QTest::newRow("generated installer") << QStringList{key, m_keyFile, size, QStringLiteral("1234567")}
                                         << QStringLiteral("holds");
    QTest::newRow("installer file") << QStringList{key, m_keyFile, QStringLiteral("--installer"), installer}
                                    << QStringLiteral("holds");
    QTest::newRow("bad signature") << QStringList{key, m_keyFile, QStringLiteral("--bad-signature")}
                                   << QStringLiteral("wrong");
    QTest::newRow("bad signature, no key") << QStringList{QStringLiteral("--bad-signature")} << QStringLiteral("wrong");
}

void tst_UpdateService::offersCarryTheSignature()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, signature);

    Service service;
    QVERIFY(service.start(arguments));
    service.beProxy();
    const Answer check = fetch(checkUrl(QStringLiteral("http")), true);
    QCOMPARE(check.status, 200);
    const QJsonObject offer = offerOf(check);
    const QUrl download(offer.value(QStringLiteral("software_download")).toString());
    QCOMPARE(download.scheme(), QStringLiteral("http"));
    const QJsonValue offered = offer.value(QStringLiteral("software_signature"));
    if (signature == QLatin1String("none")) {
        QVERIFY(offered.isUndefined());
        return;
    }
    const QByteArray base64 = offered.toString().toLatin1();
    QCOMPARE(InstallerSignature::decodeSignature(base64).size(), 64);

    const Answer installer = fetch(download, false);
    QCOMPARE(installer.status, 200);
    const QString file = m_dir.filePath(QStringLiteral("downloaded.exe"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(installer.body);
    out.close();
    QCOMPARE(InstallerSignature::verifyFileBase64(file, m_publicKey, base64), signature == QLatin1String("holds"));
}

void tst_UpdateService::httpsThroughTheProxy()
{
    const QString host = CheckExchange::checkUrl().host();
    const TestCertificates certificates({host, QStringLiteral("127.0.0.1")});
    QVERIFY2(certificates.isValid(), qPrintable(certificates.errorString()));
    Service service;
    QVERIFY(service.start({QStringLiteral("--tls-cert"), certificates.serverChainFile(), QStringLiteral("--tls-key"),
                           certificates.serverKeyFile(), QStringLiteral("--installer-size"),
                           QStringLiteral("2000000")}));
    service.beProxy();

    // Nobody trusts the authority yet: the handshake fails, no answer arrives.
    const Answer untrusted = fetch(checkUrl(QStringLiteral("https")), true);
    QCOMPARE(untrusted.error, QNetworkReply::SslHandshakeFailedError);
    QVERIFY(untrusted.body.isEmpty());

    {
        const TrustedAuthority trusted(certificates.authority());
        const Answer check = fetch(checkUrl(QStringLiteral("https")), true);
        QCOMPARE(check.error, QNetworkReply::NoError);
        QCOMPARE(check.status, 200);
        const QUrl download(offerOf(check).value(QStringLiteral("software_download")).toString());
        QCOMPARE(download.scheme(), QStringLiteral("https"));
        QCOMPARE(download.host(), host);
        const Answer installer = fetch(download, false);
        QCOMPARE(installer.error, QNetworkReply::NoError);
        QCOMPARE(installer.body.size(), 2000000);
        QCOMPARE(installer.body.at(1999999), MiniHttpServer::pattern(1999999));
    }
    // The trust ends with the object.
    QCOMPARE(fetch(checkUrl(QStringLiteral("https")), true).error, QNetworkReply::SslHandshakeFailedError);
    // Plain HTTP through the same service goes on as before.
    const Answer plain = fetch(checkUrl(QStringLiteral("http")), true);
    QCOMPARE(plain.status, 200);
    QCOMPARE(QUrl(offerOf(plain).value(QStringLiteral("software_download")).toString()).scheme(),
             QStringLiteral("http"));
}

void tst_UpdateService::httpsDirectly()
{
    const TestCertificates certificates({QStringLiteral("127.0.0.1")});
    QVERIFY2(certificates.isValid(), qPrintable(certificates.errorString()));
    Service service;
    QVERIFY(service.start({QStringLiteral("--tls-cert"), certificates.serverChainFile(), QStringLiteral("--tls-key"),
                           certificates.serverKeyFile()}));
    const TrustedAuthority trusted(certificates.authority());
    const QUrl url(QStringLiteral("https://127.0.0.1:%1/ver1/checkUpdate").arg(service.port));
    const Answer check = fetch(url, true);
    QCOMPARE(check.error, QNetworkReply::NoError);
    QVERIFY(offerOf(check).value(QStringLiteral("software_download")).toString().startsWith(QLatin1String("https://")));
}

void tst_UpdateService::tunnelInProcess()
{
    // The same server inside a test, as the dialogs' tests use it.
    const QString host = CheckExchange::checkUrl().host();
    const TestCertificates certificates({host});
    QVERIFY2(certificates.isValid(), qPrintable(certificates.errorString()));
    LoopbackUpdateServer server;
    QVERIFY(server.isListening());
    QVERIFY(server.setTls(certificates.serverChain(), certificates.serverKey()));
    const UpdateService service;
    server.setHandler([&service](const HttpRequest &request) { return service.answer(request); });
    const TrustedAuthority trusted(certificates.authority());

    QCOMPARE(fetch(checkUrl(QStringLiteral("https")), true).status, 200);
    QCOMPARE(fetch(checkUrl(QStringLiteral("http")), true).status, 200);
    const QList<HttpRequest> requests = server.requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(0).method, QByteArray("CONNECT"));
    QCOMPARE(requests.at(0).target, host.toLatin1() + ":443");
    QCOMPARE(requests.at(1).method, QByteArray("POST"));
    QVERIFY(requests.at(1).secure);
    QCOMPARE(requests.at(1).path, QByteArray("/ver1/checkUpdate"));
    QVERIFY(!requests.at(2).secure);
}

QTEST_GUILESS_MAIN(tst_UpdateService)
#include "tst_updateservice.moc"
