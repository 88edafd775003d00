#include "CheckExchange.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "ProductIdentity.h"
#include "StallingProxy.h"
#include "TestFiles.h"
#include "TestWait.h"
#include "UpdateService.h"
#include "UpdateSession.h"
#include "UpdateTestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextCodec>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace TestFiles;
using namespace UpdateTest;

namespace {

const QString kInstallerUrl = QStringLiteral("http://downloads.test/pdfinstall.exe");
// Steps of the progress without a length; each dialog picks its own.
constexpr qint64 kStep = 1000;

qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QByteArray sha1(QIODevice *device)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(device);
    return hash.result();
}

QByteArray patternSha1(qint64 size)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray buffer;
    for (qint64 offset = 0; offset < size; offset += 1 << 20) {
        const qint64 n = qMin<qint64>(1 << 20, size - offset);
        buffer.resize(int(n));
        MiniHttpServer::fillPattern(buffer.data(), offset, n);
        hash.addData(buffer);
    }
    return hash.result();
}

// A download as the update-offer dialog starts it (in the installer folder),
// or with `automatic` as the dialog that installs without asking does (no
// working directory).
UpdateSession::Target target(bool automatic = false)
{
    if (automatic)
        return {InstallerLocation::file(), QString(), kStep};
    return {InstallerLocation::file(), InstallerLocation::folder(), kStep};
}

// What starting bytes that are no program gives: root starts nothing that the
// kernel cannot run; the stand-in pkexec is handed them all the same.
QString startOfNoProgram()
{
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        return QStringLiteral("refused");
#endif
    return QStringLiteral("end");
}

} // namespace

Q_DECLARE_METATYPE(HttpResponse)

// A session and everything it signals, in order.
struct Session
{
    UpdateSession session;
    QStringList events;
    QList<UpdateOffer> offers;
    QList<int> progress;
    QList<qint64> received;
    qint64 total = -2;

    explicit Session(bool installOnOffer = false, bool automatic = false)
    {
        auto note = [this](const char *event) { return [this, event] { events << QLatin1String(event); }; };
        auto failure = [this](const char *prefix) {
            return [this, prefix](UpdateSession::Failure failure) {
                events << QLatin1String(prefix)
                                + (failure == UpdateSession::Failure::Network ? QLatin1String("network")
                                                                              : QLatin1String("status"));
            };
        };
        QObject::connect(&session, &UpdateSession::offered, [=](const UpdateOffer &offer) {
            events << QStringLiteral("offer");
            offers << offer;
            if (installOnOffer)
                session.startDownload(target(automatic));
        });
        QObject::connect(&session, &UpdateSession::noOffer, note("no-offer"));
        QObject::connect(&session, &UpdateSession::checkFailed, failure("failed-"));
        QObject::connect(&session, &UpdateSession::downloadStarted, note("start"));
        QObject::connect(&session, &UpdateSession::chunkStored, [this](int value, qint64 bytes, qint64 length) {
            progress << value;
            received << bytes;
            total = length;
        });
        QObject::connect(&session, &UpdateSession::downloadFailed, failure("download-failed-"));
        QObject::connect(&session, &UpdateSession::downloadFinished, note("completion"));
        QObject::connect(&session, &UpdateSession::installerStarted, note("end"));
        QObject::connect(&session, &UpdateSession::installerRefused, note("refused"));
    }

    void check() { session.startCheck(ProductIdentity::read(QCoreApplication::applicationDirPath())); }
    // Whether the last event ends a check or a download.
    bool settled() const
    {
        static const QStringList ongoing{QStringLiteral("start"), QStringLiteral("completion")};
        return !events.isEmpty() && !ongoing.contains(events.last());
    }
};

class tst_UpdateSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void checkRequest_data();
    void checkRequest();
    void clockAfter2038();
    void outcomes_data();
    void outcomes();
    void oversizedAnswerIsDroppedEarly();
    void repliesHandedIn();
    void largeDownloadIsStreamed();
    void offerDownloadsAndStartsInstaller_data();
    void offerDownloadsAndStartsInstaller();
    void progressRule_data();
    void progressRule();
    void progressWithoutLength();
    void incompleteDownloadsStartNothing_data();
    void incompleteDownloadsStartNothing();
    void emptyDownload();
    void installerChangedMeanwhile_data();
    void installerChangedMeanwhile();
    void idleLimit_data();
    void idleLimit();
    void staleFileIsReplaced();
    void noDownloadWhileTheInstallerRuns();
    void urlsThatAreNotDownloaded_data();
    void urlsThatAreNotDownloaded();
    void packedOrOversizedInstallersAreRefused_data();
    void packedOrOversizedInstallersAreRefused();

private:
    // The check offers `url`; every GET gets `installer`.
    void serve(const QString &url, const HttpResponse &installer);
    // Checks, takes the offer of `url` and starts its download.
    void offerAndDownload(Session &s, const QString &url, bool automatic = false);

    ConfigFolder m_config;
    LoopbackUpdateServer *m_server = nullptr;
    QString m_configIni;
};

void tst_UpdateSession::initTestCase()
{
    QVERIFY(m_config.isValid());
    m_configIni = QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
    QVERIFY(InstallerLocation::file().endsWith(QLatin1String("pdfconverter/output/pdfinstall.exe")));
}

void tst_UpdateSession::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    QVERIFY(m_config.resetInstallerFolder());
}

void tst_UpdateSession::cleanup()
{
    delete m_server;
    m_server = nullptr;
    QFile::remove(m_configIni);
}

void tst_UpdateSession::serve(const QString &url, const HttpResponse &installer)
{
    const HttpResponse check = offerAnswer(url);
    m_server->setHandler(
            [check, installer](const HttpRequest &request) { return request.method == "POST" ? check : installer; });
}

void tst_UpdateSession::offerAndDownload(Session &s, const QString &url, bool automatic)
{
    if (s.offers.isEmpty() || s.session.downloadUrl() != url) {
        s.check();
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
        QCOMPARE(s.events, QStringList{QStringLiteral("offer")});
        s.events.clear();
    }
    s.session.startDownload(target(automatic));
}

void tst_UpdateSession::checkRequest_data()
{
    QTest::addColumn<bool>("writeConfig");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("package");

    QTest::newRow("ascii") << true << "orvalinpdf"
                           << "8.9.1.0"
                           << "orvalinpdf_setup.exe";
    QTest::newRow("missing config.ini") << false << ""
                                        << ""
                                        << "";
    // A value that QSettings would decode through QDataStream (a list claiming
    // four billion entries) reads as missing; the other values still count.
    QTest::newRow("damaged config.ini") << true << "orvalinpdf"
                                        << ""
                                        << "";
    QTest::newRow("quote, backslash, Chinese")
            << true << QString::fromUtf8("奥瓦林\"PDF\\转换器") << QString::fromUtf8("8.9 \"测试\"")
            << QString::fromUtf8("C:\\安装\\setup\t.exe");
}

void tst_UpdateSession::checkRequest()
{
    QFETCH(bool, writeConfig);
    QFETCH(QString, name);
    QFETCH(QString, version);
    QFETCH(QString, package);

    if (QByteArray(QTest::currentDataTag()) == "damaged config.ini") {
        QVERIFY(writeFile(m_configIni,
                          "[Install]\nVersion=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nUrlName=orvalinpdf\n"));
    } else if (writeConfig) {
        QSettings config(m_configIni, QSettings::IniFormat);
        config.setIniCodec(QTextCodec::codecForName("gb2312"));
        config.setValue(QStringLiteral("Install/Version"), version);
        config.setValue(QStringLiteral("Install/UrlName"), name);
        config.setValue(QStringLiteral("Install/SetupName"), package);
    }

    m_server->setHandler([](const HttpRequest &) { return answer("{}"); });
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    Session s;
    s.check();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList{QStringLiteral("no-offer")});

    QCOMPARE(m_server->requests().size(), 1);
    const HttpRequest request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(QString::fromLatin1(request.host), CheckExchange::checkUrl().host());
    QCOMPARE(request.path, QByteArray("/ver1/checkUpdate"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/raw"));

    const QRegularExpressionMatch clock
            = QRegularExpression(QStringLiteral("\"machine_code\":\"(\\d+)\",\"guid\":\"(\\d+)\""))
                      .match(QString::fromUtf8(request.body));
    QVERIFY(clock.hasMatch());
    QCOMPARE(clock.captured(1), clock.captured(2));
    QVERIFY(clock.captured(1).toLongLong() >= before && clock.captured(1).toLongLong() <= after);

    const QJsonDocument json = QJsonDocument::fromJson(request.body);
    QVERIFY(json.isObject());
    QCOMPARE(json.object().value(QStringLiteral("software_name")).toString(), name);
    QCOMPARE(json.object().value(QStringLiteral("software_version")).toString(), version);
    QCOMPARE(json.object().value(QStringLiteral("software_package")).toString(), package);

    if (QByteArray(QTest::currentDataTag()) == "ascii") {
        const QByteArray expected = "{\"software_name\":\"orvalinpdf\",\"software_version\":\"8.9.1.0\","
                                    "\"software_package\":\"orvalinpdf_setup.exe\",\"machine_code\":\""
                + clock.captured(1).toLatin1() + "\",\"guid\":\"" + clock.captured(1).toLatin1()
                + "\",\"time\":\"\",\"token\":\"\"}";
        QCOMPARE(request.body, expected);
    }
}

void tst_UpdateSession::clockAfter2038()
{
    const QByteArray body = CheckExchange::requestBody(ProductIdentity(), 3000000000u);
    QVERIFY(body.contains("\"machine_code\":\"3000000000\",\"guid\":\"3000000000\""));
}

void tst_UpdateSession::outcomes_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("downloadUrl");

    QTest::newRow("network error") << HttpResponse{200, {}, {}, -1, -1, true} << "failed-network"
                                   << "";
    QTest::newRow("301") << HttpResponse{301, {{"Location", "http://elsewhere.test/"}}, {}, -1, -1, false}
                         << "failed-status"
                         << "";
    QTest::newRow("302") << HttpResponse{302, {{"Location", "http://elsewhere.test/"}}, {}, -1, -1, false}
                         << "failed-status"
                         << "";
    // The network layer reports 4xx and 5xx answers as errors, so they come first.
    QTest::newRow("500") << answer("{\"code\":1}", 500) << "failed-network"
                         << "";
    QTest::newRow("not an object") << answer("[1,2,3]") << "no-offer"
                                   << "";
    QTest::newRow("code as text") << answer(
            "{\"code\":\"1\",\"responseData\":{\"software_download\":\"http://a.test/x.exe\"}}")
                                  << "no-offer"
                                  << "";
    QTest::newRow("code 1.0") << answer(UpdateService::checkAnswer(true, QStringLiteral("http://a.test/x.exe"),
                                                                   QStringLiteral("9.0"), QStringLiteral("notes"))
                                                .replace("\"code\":1", "\"code\":1.0"))
                              << "offer"
                              << "http://a.test/x.exe";
    QTest::newRow("code 1 without responseData") << answer("{\"code\":1}") << "offer"
                                                 << "";
    QTest::newRow("code 0") << answer(UpdateService::checkAnswer(false, QString(), QString(), QString())) << "no-offer"
                            << "";
    QTest::newRow("not JSON") << answer("<html>") << "no-offer"
                              << "";
    QTest::newRow("code 2") << answer(
            UpdateService::checkAnswer(true, QStringLiteral("http://a.test/x.exe"), QStringLiteral("9.0"), QString())
                    .replace("\"code\":1", "\"code\":2"))
                            << "no-offer"
                            << "";
    // An answer of 1 MiB is read; one byte more is refused.
    QByteArray mebibyte
            = UpdateService::checkAnswer(true, QStringLiteral("http://a.test/x.exe"), QStringLiteral("9.0"), QString());
    mebibyte += QByteArray(1048576 - mebibyte.size(), ' ');
    QTest::newRow("answer of 1 MiB") << answer(mebibyte) << "offer"
                                     << "http://a.test/x.exe";
    QTest::newRow("answer of 1 MiB and a byte") << answer(mebibyte + ' ') << "failed-network"
                                                << "";
    HttpResponse huge;
    huge.generatedSize = 64 * 1048576;
    QTest::newRow("answer of 64 MiB") << huge << "failed-network"
                                      << "";
}

void tst_UpdateSession::outcomes()
{
    QFETCH(HttpResponse, response);
    QFETCH(QString, event);
    QFETCH(QString, downloadUrl);

    m_server->setHandler([response](const HttpRequest &) { return response; });
    Session s;
    s.check();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList{event});
    QCOMPARE(s.session.downloadUrl(), downloadUrl);
    if (event == QLatin1String("offer")) {
        QCOMPARE(s.offers.first().downloadUrl, downloadUrl);
        QCOMPARE(s.offers.first().version, downloadUrl.isEmpty() ? QString() : QStringLiteral("9.0"));
    }
}

void tst_UpdateSession::oversizedAnswerIsDroppedEarly()
{
    // The service streams an answer of 64 MiB: the client hangs up once it
    // holds more than it will read, long before the end, rather than taking
    // it all in and refusing it then.
    static constexpr qint64 kAnswerBytes = 64 << 20;
    static constexpr int kPiece = 256 << 10;
    qint64 sent = 0;
    bool hungUp = false;
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), service.serverPort()));
    connect(&service, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = service.nextPendingConnection();
        const auto sendMore = [&, socket] {
            while (sent < kAnswerBytes && socket->state() == QAbstractSocket::ConnectedState
                   && socket->bytesToWrite() < kPiece) {
                socket->write(QByteArray(kPiece, ' '));
                sent += kPiece;
            }
        };
        connect(socket, &QTcpSocket::readyRead, socket, [socket, sendMore] {
            socket->readAll();
            if (socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(kAnswerBytes)
                          + "\r\nConnection: close\r\n\r\n");
            sendMore();
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, sendMore);
        connect(socket, &QTcpSocket::disconnected, socket, [&] { hungUp = true; });
    });
    Session s;
    s.check();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList{QStringLiteral("failed-network")});
    QTRY_VERIFY_WITH_TIMEOUT(hungUp, TestWait::kWait);
    QVERIFY2(sent < kAnswerBytes / 4, qPrintable(QStringLiteral("%1 bytes sent").arg(sent)));
}

void tst_UpdateSession::repliesHandedIn()
{
    // What an owner hands in (a dialog's UpdateFinished slot called by name)
    // is judged by its path alone, whatever its letter case.
    m_server->setHandler([](const HttpRequest &request) {
        return answer(request.path == "/unrelated"
                              ? QByteArray("{\"code\":1}")
                              : QByteArray("{\"code\":1,\"responseData\":{\"software_version\":"
                                           "\"2\",\"software_download\":\"http://a.test/b.exe\"}}"));
    });
    Session s;
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://update.test/VER1/CheckUPDATE")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/raw"));
    QNetworkReply *reply = manager.post(request, QByteArray("{}"));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), TestWait::kWait);
    QPointer<QNetworkReply> released = reply;
    s.session.replyFinished(reply);
    QCOMPARE(s.events, QStringList{QStringLiteral("offer")});
    QCOMPARE(s.session.downloadUrl(), QStringLiteral("http://a.test/b.exe"));
    QTRY_VERIFY_WITH_TIMEOUT(!released, TestWait::kWait);

    reply = manager.get(QNetworkRequest(QUrl(QStringLiteral("http://update.test/unrelated"))));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), TestWait::kWait);
    s.session.replyFinished(reply);
    QCOMPARE(s.events.size(), 1);

    // A reply handed in whole was never capped while it streamed: the cap
    // holds at the end, 1 MiB is read and a byte more is refused.
    QByteArray mebibyte
            = UpdateService::checkAnswer(true, QStringLiteral("http://a.test/c.exe"), QStringLiteral("9"), QString());
    mebibyte += QByteArray(1048576 - mebibyte.size(), ' ');
    for (const QByteArray &body : {mebibyte, mebibyte + ' '}) {
        m_server->setHandler([body](const HttpRequest &) { return answer(body); });
        reply = manager.post(request, QByteArray("{}"));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), TestWait::kWait);
        s.session.replyFinished(reply);
    }
    QCOMPARE(s.events, QStringList({"offer", "offer", "failed-network"}));
    QCOMPARE(s.session.downloadUrl(), QStringLiteral("http://a.test/c.exe"));
}

void tst_UpdateSession::largeDownloadIsStreamed()
{
    const qint64 size = 150000123;
    HttpResponse installer;
    installer.generatedSize = size;
    serve(kInstallerUrl, installer);
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    Session s;
    const qint64 peakBefore = peakMemoryKiB();
    QVERIFY(peakBefore > 0);
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kLongWait);
    const qint64 peakAfter = peakMemoryKiB();

    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), startOfNoProgram()}));
    QFile file(InstallerLocation::file());
    QCOMPARE(file.size(), size);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(sha1(&file), patternSha1(size));
    QCOMPARE(s.session.writtenBytes(), size);
    // Holding the installer in memory would add ~143 MiB.
    QVERIFY2(peakAfter - peakBefore < 64 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakAfter - peakBefore)));

    // The progress is the share of the announced length, never past 100.
    QCOMPARE(s.total, size);
    QVERIFY(s.progress.size() > 10);
    for (int i = 0; i < s.progress.size(); ++i)
        QCOMPARE(s.progress.at(i), int(s.received.at(i) * 100 / size));
    QCOMPARE(s.progress.last(), 100);
}

void tst_UpdateSession::offerDownloadsAndStartsInstaller_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("downloadPath");
    QTest::newRow("offer dialog") << false << "/download/pdfinstall.exe";
    QTest::newRow("automatic dialog") << true << "/download/pdfinstall.exe";
    // The URL's text form changes when parsed ("%20"); the reply is still ours.
    QTest::newRow("URL text normalised") << true << "/down load/pdfinstall.exe";
}

void tst_UpdateSession::offerDownloadsAndStartsInstaller()
{
    QFETCH(bool, automatic);
    QFETCH(QString, downloadPath);

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    serve(QStringLiteral("http://downloads.test") + downloadPath, answer(elevation.installerScript()));

    Session s(automatic, automatic);
    s.check();
    if (!automatic) {
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
        s.session.startDownload(target());
    }
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events,
             QStringList({QStringLiteral("offer"), QStringLiteral("start"), QStringLiteral("completion"),
                          QStringLiteral("end")}));

    // The GET goes out with the content type of the check.
    QCOMPARE(m_server->requests().size(), 2);
    QCOMPARE(m_server->requests().at(1).method, QByteArray("GET"));
    QCOMPARE(m_server->requests().at(1).header("Content-Type"), QByteArray("application/raw"));

    const QString directory = automatic ? QDir::currentPath() : InstallerLocation::folder();
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(QFileInfo(run.workingDirectory).canonicalFilePath(), QFileInfo(directory).canonicalFilePath());
#ifdef Q_OS_UNIX
    if (::geteuid() != 0) {
        QCOMPARE(elevation.pkexecCalls().size(), 1);
        QCOMPARE(elevation.pkexecCalls().first().arguments, QStringList{InstallerLocation::file()});
    }
#endif
}

void tst_UpdateSession::progressRule_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("progress");
    // With a length: the share received.
    QTest::newRow("share") << qint64(1499) << qint64(3000) << 49;
    QTest::newRow("share, all") << qint64(3000) << qint64(3000) << 100;
    QTest::newRow("share, more than announced") << qint64(4000) << qint64(3000) << 100;
    // Without: whole steps received, at most 100.
    QTest::newRow("steps, one short") << kStep - 1 << qint64(-1) << 0;
    QTest::newRow("steps, one") << kStep << qint64(-1) << 1;
    QTest::newRow("steps, 100") << 100 * kStep << qint64(-1) << 100;
    QTest::newRow("steps, 118") << 118 * kStep << qint64(-1) << 100;
    QTest::newRow("steps past 2 GiB") << qint64(3000000000) << qint64(0) << 100;
}

void tst_UpdateSession::progressRule()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, progress);
    QCOMPARE(UpdateSession::progress(received, total, kStep), progress);
}

void tst_UpdateSession::progressWithoutLength()
{
    // Bytes still waiting in the reply when it finishes belong to the file.
    Session s;
    m_server->setHandler([](const HttpRequest &) { return offerAnswer(kInstallerUrl); });
    s.check();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    s.events.clear();
    {
        StallingProxy proxy(QByteArray(kStep, 'a'), 0, false);
        s.session.startDownload(target(true));
        QTRY_VERIFY_WITH_TIMEOUT(proxy.requested(), TestWait::kWait);
        proxy.release();
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    }
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), startOfNoProgram()}));
    QCOMPARE(s.total, qint64(-1));
    QCOMPARE(s.progress.last(), 1);

    // Each download counts its own steps; the new file starts empty.
    QTRY_VERIFY_WITH_TIMEOUT(!s.session.installerRunning(), TestWait::kWait);
    s.events.clear();
    StallingProxy proxy(QByteArray(kStep - 1, 'b'), 1, false);
    s.session.startDownload(target(true));
    QTRY_VERIFY_WITH_TIMEOUT(proxy.requested(), TestWait::kWait);
    proxy.release();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.progress.last(), 0);
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray(kStep - 1, 'b'));
}

void tst_UpdateSession::incompleteDownloadsStartNothing_data()
{
    // Each body is an installer that records its start.
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("removeFolder");
    QTest::addColumn<QString>("event");
    QTest::addColumn<qint64>("fileSize");

    QTest::newRow("cut halfway") << HttpResponse{200, {}, {}, -1, 2000000, false} << false << "download-failed-network"
                                 << qint64(-1);
    QTest::newRow("installer folder missing") << answer({}) << true << "download-failed-network" << qint64(0);
    QTest::newRow("error page") << answer({}, 404) << false << "download-failed-network" << qint64(0);
    QTest::newRow("redirect") << HttpResponse{302, {{"Location", "http://elsewhere.test/x.exe"}}, {}, -1, -1, false}
                              << false << "download-failed-status" << qint64(0);
}

void tst_UpdateSession::incompleteDownloadsStartNothing()
{
    QFETCH(HttpResponse, response);
    QFETCH(bool, removeFolder);
    QFETCH(QString, event);
    QFETCH(qint64, fileSize);

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    response.body = paddedInstaller(elevation, 4000000);
    serve(kInstallerUrl, response);
    if (removeFolder)
        QVERIFY(QDir(InstallerLocation::folder()).removeRecursively());
    Session s;
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), event}));

    const QFileInfo file(InstallerLocation::file());
    if (fileSize < 0) {
        // The partial file stays.
        QVERIFY(file.size() > 0 && file.size() <= 2000000);
    } else {
        QCOMPARE(file.exists() ? file.size() : 0, fileSize);
    }
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void tst_UpdateSession::emptyDownload()
{
    FakeElevation elevation;
    serve(kInstallerUrl, answer(QByteArray()));
    QVERIFY(writeFile(InstallerLocation::file(), "old"));
    Session s;
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("download-failed-network")}));
    QVERIFY(!QFile::exists(InstallerLocation::file()));
    QVERIFY(s.progress.isEmpty());
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void tst_UpdateSession::installerChangedMeanwhile_data()
{
    QTest::addColumn<QString>("size"); // as truncate(1) takes it
    QTest::newRow("grown") << "+1000";
    QTest::newRow("cut") << "1000";
}

void tst_UpdateSession::installerChangedMeanwhile()
{
    // Another process of the user opens the file by its path and changes its
    // length after the last byte arrived: what is on disk is not what was
    // received, so nothing is started.
    QFETCH(QString, size);
    const QByteArray installer(300000, 'i');
    FakeElevation elevation;
    m_server->setHandler([](const HttpRequest &) { return offerAnswer(kInstallerUrl); });
    Session s;
    s.check();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    s.events.clear();
    // Without a length the reply ends only when the connection closes.
    StallingProxy proxy(installer, installer.size(), false);
    s.session.startDownload(target());
    QTRY_VERIFY_WITH_TIMEOUT(!s.received.isEmpty() && s.received.last() == installer.size(), TestWait::kWait);
    QCOMPARE(QProcess::execute(QStringLiteral("truncate"), {QStringLiteral("-s"), size, InstallerLocation::file()}), 0);
    proxy.release();
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("download-failed-network")}));
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void tst_UpdateSession::idleLimit_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("check never answered") << "silent check" << QStringList{"failed-network"};
    QTest::newRow("download goes silent") << "silent download" << QStringList{"start", "download-failed-network"};
    // 2.5 s in all, never a second without a byte.
    QTest::newRow("download trickles") << "trickle" << QStringList{"start", "completion", "end"};
}

void tst_UpdateSession::idleLimit()
{
    QFETCH(QString, transfer);
    QFETCH(QStringList, events);
    // Ten times the limit, so only the limit can end a silent transfer.
    constexpr int kLimit = 1000;
    FakeElevation elevation;
    Session s;
    if (transfer == QLatin1String("silent check")) {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), silent.serverPort()));
        s.session.setIdleLimit(kLimit);
        s.check();
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), 10 * kLimit);
    } else {
        m_server->setHandler([](const HttpRequest &) { return offerAnswer(kInstallerUrl); });
        s.check();
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
        s.events.clear();
        // Set between the check and the download: it holds for the download.
        s.session.setIdleLimit(kLimit);
        StallingProxy proxy(paddedInstaller(elevation, 11000), 1000);
        s.session.startDownload(target());
        QTRY_VERIFY_WITH_TIMEOUT(proxy.requested(), TestWait::kWait);
        if (transfer == QLatin1String("trickle"))
            proxy.trickle(10, kLimit / 4);
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), 10 * kLimit);
    }
    QCOMPARE(s.events, events);
}

void tst_UpdateSession::staleFileIsReplaced()
{
    QVERIFY(writeFile(InstallerLocation::file(), QByteArray(5000000, 'x')));
    serve(kInstallerUrl, answer("fresh installer"));
    Session s;
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("fresh installer"));
    QTRY_VERIFY_WITH_TIMEOUT(!s.session.installerRunning(), TestWait::kWait);

    // The bytes go through the handle the file was created with: a link put
    // in its place gets none of them, and what the path names then is not
    // started.
    const QString path = InstallerLocation::file();
    const QString victim = InstallerLocation::folder() + QStringLiteral("/victim");
    QVERIFY(writeFile(victim, "victim"));
    {
        StallingProxy proxy(QByteArray(300000, 'z'), 0);
        s.events.clear();
        s.session.startDownload(target());
        QTRY_VERIFY_WITH_TIMEOUT(proxy.requested(), TestWait::kWait);
        QVERIFY(QFile::remove(path) && QFile::link(victim, path));
        proxy.release();
        QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    }
    QCOMPARE(readFile(victim), QByteArray("victim"));
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("download-failed-network")}));
    QVERIFY(QDir().remove(path));

    // An old installer that cannot be removed fails the download at once.
    QVERIFY(QDir().mkpath(path + QStringLiteral("/blocker")));
    const int requests = m_server->requests().size();
    s.events.clear();
    s.session.startDownload(target());
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("download-failed-network")}));
    QTest::qWait(200);
    QCOMPARE(m_server->requests().size(), requests);
}

void tst_UpdateSession::noDownloadWhileTheInstallerRuns()
{
    // A start while the installer of the last one still runs is left alone,
    // and its file with it; once the installer has ended, a start downloads.
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = elevation.waitingInstallerScript();
    serve(kInstallerUrl, answer(installer));
    Session s;
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), TestWait::kWait);
    QVERIFY(s.session.installerRunning());
    s.events.clear();
    s.session.startDownload(target());
    QTest::qWait(300);
    QVERIFY(s.events.isEmpty());
    QCOMPARE(m_server->requests().size(), 2);
    QCOMPARE(readFile(InstallerLocation::file()), installer);

    elevation.releaseInstaller();
    QTRY_VERIFY_WITH_TIMEOUT(!s.session.installerRunning(), TestWait::kWait);
    s.session.startDownload(target());
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), QStringLiteral("end")}));
    QCOMPARE(m_server->requests().size(), 3);
    elevation.releaseInstaller();
}

void tst_UpdateSession::urlsThatAreNotDownloaded_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("capital EXE") << "http://downloads.test/PDFINSTALL.EXE";
    QTest::newRow("query after .exe") << "http://downloads.test/pdfinstall.exe?v=2";
    QTest::newRow("ftp") << "ftp://downloads.test/pdfinstall.exe";
    QTest::newRow("file") << "file:///tmp/pdfinstall.exe";
    QTest::newRow("data") << "data:application/octet-stream,MZ.exe";
    QTest::newRow("qrc") << "qrc:/pdfinstall.exe";
    QTest::newRow("empty") << "";
    QTest::newRow("no host") << "http:///pdfinstall.exe";
    QTest::newRow("port without a host") << "http://:80/pdfinstall.exe";
}

void tst_UpdateSession::urlsThatAreNotDownloaded()
{
    QFETCH(QString, url);
    QVERIFY(writeFile(InstallerLocation::file(), "old"));
    serve(url, answer("new"));
    Session s;
    offerAndDownload(s, url);
    QTest::qWait(300);
    QVERIFY(s.events.isEmpty());
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("old"));
}

void tst_UpdateSession::packedOrOversizedInstallersAreRefused_data()
{
    QTest::addColumn<HttpResponse>("response");

    // 16 MiB of zeros packed into a few KiB, sent whatever the GET asked for.
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), QStringList{QStringLiteral("-c")});
    QVERIFY(gzip.waitForStarted());
    gzip.write(QByteArray(16 << 20, '\0'));
    gzip.closeWriteChannel();
    QVERIFY(gzip.waitForFinished());
    HttpResponse packed = answer(gzip.readAllStandardOutput());
    QVERIFY(packed.body.size() < (1 << 20));
    packed.headers = {{"Content-Encoding", "gzip"}};
    QTest::newRow("gzip whatever was asked") << packed;

    HttpResponse oversized = answer(QByteArray(100000, 'o'));
    oversized.announcedLength = UpdateSession::maxInstallerBytes() + 1;
    QTest::newRow("Content-Length above the maximum") << oversized;
}

void tst_UpdateSession::packedOrOversizedInstallersAreRefused()
{
    QFETCH(HttpResponse, response);
    FakeElevation elevation;
    serve(kInstallerUrl, response);
    Session s;
    offerAndDownload(s, kInstallerUrl);
    QTRY_VERIFY_WITH_TIMEOUT(s.settled(), TestWait::kWait);

    QCOMPARE(m_server->requests().at(1).header("Accept-Encoding"), QByteArray("identity"));
    QCOMPARE(s.events, QStringList({QStringLiteral("start"), QStringLiteral("download-failed-network")}));
    // Not a byte was stored, and the file is gone.
    QVERIFY(s.received.isEmpty());
    QVERIFY(!QFile::exists(InstallerLocation::file()));
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
}

QTEST_MAIN(tst_UpdateSession)
#include "tst_updatesession.moc"
