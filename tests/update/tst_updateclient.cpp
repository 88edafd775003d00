#include "CheckExchange.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "ProductIdentity.h"
#include "UpdateClient.h"
#include "UpdateService.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int kWait = 30000;

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

QByteArray fileSha1(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
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

} // namespace

Q_DECLARE_METATYPE(HttpResponse)

// A minimal update dialog: the members and slots the dialogs have, the slot
// bodies calling the client, and a record of what the client made it show.
class Owner : public QObject
{
    Q_OBJECT

public:
    QNetworkRequest *request = nullptr;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *reply = nullptr;
    QString downloadurl;
    qint64 writtenbytes = 0;

    UpdateProfile profile;
    QProgressBar bar;
    QLabel rateno;
    QStringList events;
    QList<UpdateOffer> offers;
    QStringList texts;
    QList<int> barValues;
    int finished = 0;

    // The update-offer dialog's values, or with `automatic` those of the
    // dialog that installs without asking (which also downloads on an offer).
    explicit Owner(bool automatic = false, const QString &installerFile = InstallerLocation::file())
    {
        bar.setRange(0, 100);
        profile.installerFile = installerFile;
        profile.workingDirectory = automatic ? QString() : InstallerLocation::folder();
        profile.progressDivisor = automatic ? 504296 : 1000000;
        profile.progressFormat = automatic ? QStringLiteral("%d") : QStringLiteral("%d%");
        profile.startDisplay = [this] { events << QStringLiteral("start"); };
        profile.chunkDisplay = [this](int value, const QString &text) {
            bar.setValue(value);
            rateno.setText(text);
            texts << text;
            barValues << bar.value();
        };
        profile.completionDisplay = [this] {
            events << QStringLiteral("completion");
            rateno.setText(QStringLiteral("70%"));
            bar.setValue(70);
        };
        profile.endDisplay = [this] { events << QStringLiteral("end"); };
        profile.failedNetwork = [this] { events << QStringLiteral("failed-network"); };
        profile.failedStatus = [this] { events << QStringLiteral("failed-status"); };
        profile.noOffer = [this] { events << QStringLiteral("no-offer"); };
        profile.offer = [this, automatic](const UpdateOffer &offer) {
            events << QStringLiteral("offer");
            offers << offer;
            if (automatic)
                on_install_clicked();
        };
    }
    ~Owner() override
    {
        delete request;
        delete manager;
    }

    UpdateMembers members() { return UpdateMembers{this, request, manager, reply, downloadurl, writtenbytes}; }
    void check() { UpdateClient::startCheck(members()); }

public slots:
    void on_install_clicked() { UpdateClient::startDownload(members(), profile); }

private slots:
    void UpdateFinished(QNetworkReply *finishedReply)
    {
        UpdateClient::replyFinished(members(), finishedReply, profile);
        ++finished;
    }
    void writeexedata() { UpdateClient::storeChunk(members(), profile); }
};

class TestUpdateClient : public QObject
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
    void otherRepliesOfTheManager();
    void largeDownloadIsStreamed();
    void offerDownloadsAndStartsInstaller_data();
    void offerDownloadsAndStartsInstaller();
    void progressStepsContinueOverDownloads();
    void incompleteDownloadsStartNothing_data();
    void incompleteDownloadsStartNothing();
    void emptyDownload();
    void staleFileIsReplaced();
    void urlsThatAreNotDownloaded_data();
    void urlsThatAreNotDownloaded();
    void finishedReplyIsNotKept();

private:
    // Serves `body` for every GET and returns the offered URL for it.
    void serveInstaller(const QByteArray &body);
    void startDownload(Owner &owner, const QString &url);

    QTemporaryDir m_config;
    LoopbackUpdateServer *m_server = nullptr;
    QString m_configIni;
};

void TestUpdateClient::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    m_configIni = QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
    QVERIFY(InstallerLocation::folder().startsWith(m_config.path()));
    QVERIFY(InstallerLocation::file().endsWith(QLatin1String("pdfconverter/output/pdfinstall.exe")));
}

void TestUpdateClient::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    QDir(InstallerLocation::folder()).removeRecursively();
    QVERIFY(QDir().mkpath(InstallerLocation::folder()));
}

void TestUpdateClient::cleanup()
{
    delete m_server;
    m_server = nullptr;
    QFile::remove(m_configIni);
}

void TestUpdateClient::checkRequest_data()
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

void TestUpdateClient::checkRequest()
{
    QFETCH(bool, writeConfig);
    QFETCH(QString, name);
    QFETCH(QString, version);
    QFETCH(QString, package);

    if (QByteArray(QTest::currentDataTag()) == "damaged config.ini") {
        QFile config(m_configIni);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[Install]\nVersion=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\nUrlName=orvalinpdf\n");
    } else if (writeConfig) {
        QSettings config(m_configIni, QSettings::IniFormat);
        config.setIniCodec(QTextCodec::codecForName("gb2312"));
        config.setValue(QStringLiteral("Install/Version"), version);
        config.setValue(QStringLiteral("Install/UrlName"), name);
        config.setValue(QStringLiteral("Install/SetupName"), package);
    }

    m_server->setHandler([](const HttpRequest &) { return HttpResponse{200, {}, "{}", -1, -1, false}; });
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    Owner owner;
    owner.check();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
    QCOMPARE(owner.events, QStringList{QStringLiteral("no-offer")});

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

void TestUpdateClient::clockAfter2038()
{
    const QByteArray body = CheckExchange::requestBody(ProductIdentity(), 3000000000u);
    QVERIFY(body.contains("\"machine_code\":\"3000000000\",\"guid\":\"3000000000\""));
}

void TestUpdateClient::outcomes_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("downloadUrl");

    auto ok = [](const QByteArray &body) { return HttpResponse{200, {}, body, -1, -1, false}; };
    QTest::newRow("network error") << HttpResponse{200, {}, {}, -1, -1, true} << "failed-network"
                                   << "";
    QTest::newRow("301") << HttpResponse{301, {{"Location", "http://elsewhere.test/"}}, {}, -1, -1, false}
                         << "failed-status"
                         << "";
    QTest::newRow("302") << HttpResponse{302, {{"Location", "http://elsewhere.test/"}}, {}, -1, -1, false}
                         << "failed-status"
                         << "";
    // The network layer reports 4xx and 5xx answers as errors, so they come first.
    QTest::newRow("500") << HttpResponse{500, {}, "{\"code\":1}", -1, -1, false} << "failed-network"
                         << "";
    QTest::newRow("not an object") << ok("[1,2,3]") << "no-offer"
                                   << "";
    QTest::newRow("code as text") << ok(
            "{\"code\":\"1\",\"responseData\":{\"software_download\":\"http://a.test/x.exe\"}}")
                                  << "no-offer"
                                  << "";
    QTest::newRow("code 1.0") << ok(UpdateService::checkAnswer(true, QStringLiteral("http://a.test/x.exe"),
                                                               QStringLiteral("9.0"), QStringLiteral("notes"))
                                            .replace("\"code\":1", "\"code\":1.0"))
                              << "offer"
                              << "http://a.test/x.exe";
    QTest::newRow("code 1 without responseData") << ok("{\"code\":1}") << "offer"
                                                 << "";
    HttpResponse huge;
    huge.generatedSize = 2 * CheckExchange::kMaxAnswerBytes;
    QTest::newRow("answer over 1 MiB") << huge << "failed-network"
                                       << "";
}

void TestUpdateClient::outcomes()
{
    QFETCH(HttpResponse, response);
    QFETCH(QString, event);
    QFETCH(QString, downloadUrl);

    m_server->setHandler([response](const HttpRequest &) { return response; });
    Owner owner;
    owner.check();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
    QCOMPARE(owner.events, QStringList{event});
    QCOMPARE(owner.downloadurl, downloadUrl);
    if (event == QLatin1String("offer")) {
        QCOMPARE(owner.offers.first().downloadUrl, downloadUrl);
        QCOMPARE(owner.offers.first().version, downloadUrl.isEmpty() ? QString() : QStringLiteral("9.0"));
    }
}

void TestUpdateClient::otherRepliesOfTheManager()
{
    m_server->setHandler([](const HttpRequest &request) {
        return HttpResponse{200,
                            {},
                            request.path == "/unrelated"
                                    ? QByteArray("{\"code\":1}")
                                    : QByteArray("{\"code\":1,\"responseData\":{\"software_version\":\"2\"}}"),
                            -1,
                            -1,
                            false};
    });
    Owner owner;
    owner.check();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
    QCOMPARE(owner.events, QStringList{QStringLiteral("offer")});

    // Through the same manager the answers reach the owner's slot as well.
    owner.manager->post(QNetworkRequest(QUrl(QStringLiteral("http://update.test/VER1/CheckUPDATE"))), QByteArray("{}"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.events, QStringList({QStringLiteral("offer"), QStringLiteral("offer")}));
    owner.manager->get(QNetworkRequest(QUrl(QStringLiteral("http://update.test/unrelated"))));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 3, kWait);
    QCOMPARE(owner.events.size(), 2);
}

void TestUpdateClient::serveInstaller(const QByteArray &body)
{
    m_server->setHandler([body](const HttpRequest &) { return HttpResponse{200, {}, body, -1, -1, false}; });
}

void TestUpdateClient::startDownload(Owner &owner, const QString &url)
{
    // The check sets up the manager and the request the download reuses.
    owner.check();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
    owner.events.clear();
    owner.downloadurl = url;
    owner.on_install_clicked();
}

void TestUpdateClient::largeDownloadIsStreamed()
{
    const qint64 size = 150000123;
    m_server->setHandler([size](const HttpRequest &request) {
        HttpResponse response;
        if (request.method == "GET")
            response.generatedSize = size;
        return response;
    });
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    Owner owner;
    const qint64 peakBefore = peakMemoryKiB();
    QVERIFY(peakBefore > 0);
    startDownload(owner, QStringLiteral("http://downloads.test/big/pdfinstall.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, 300000);
    const qint64 peakAfter = peakMemoryKiB();

    QCOMPARE(owner.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), QStringLiteral("end")}));
    QCOMPARE(QFileInfo(InstallerLocation::file()).size(), size);
    QCOMPARE(fileSha1(InstallerLocation::file()), patternSha1(size));
    QCOMPARE(owner.writtenbytes, size);
    // Holding the installer in memory would add ~146 MiB.
    QVERIFY2(peakAfter - peakBefore < 64 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakAfter - peakBefore)));

    // The text counts on past 100 while the bar keeps its last accepted value.
    QCOMPARE(owner.texts.last(), QStringLiteral("150%"));
    int lastAccepted = 0;
    for (const QString &text : qAsConst(owner.texts)) {
        const int value = text.chopped(1).toInt();
        if (value <= 100)
            lastAccepted = value;
    }
    QVERIFY(lastAccepted >= 90);
    QCOMPARE(owner.barValues.last(), lastAccepted);
    // Completion shows "70%" and 70 after the last chunk.
    QCOMPARE(owner.rateno.text(), QStringLiteral("70%"));
    QCOMPARE(owner.bar.value(), 70);
}

void TestUpdateClient::offerDownloadsAndStartsInstaller_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("downloadPath");
    QTest::newRow("offer dialog") << false << "/download/pdfinstall.exe";
    QTest::newRow("automatic dialog") << true << "/download/pdfinstall.exe";
    // The URL's text form changes when parsed ("%20"); the reply is still ours.
    QTest::newRow("URL text normalised") << true << "/down load/pdfinstall.exe";
}

void TestUpdateClient::offerDownloadsAndStartsInstaller()
{
    QFETCH(bool, automatic);
    QFETCH(QString, downloadPath);

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = elevation.installerScript();
    m_server->setHandler([installer, downloadPath](const HttpRequest &request) {
        if (request.method == "POST") {
            const QString url = QStringLiteral("http://downloads.test") + downloadPath;
            return HttpResponse{200, {}, UpdateService::checkAnswer(true, url, QStringLiteral("9"), QString()),
                                -1,  -1, false};
        }
        return HttpResponse{200, {}, installer, -1, -1, false};
    });

    Owner owner(automatic);
    owner.check();
    if (!automatic) {
        QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
        owner.on_install_clicked();
    }
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.events,
             QStringList({QStringLiteral("offer"), QStringLiteral("start"), QStringLiteral("completion"),
                          QStringLiteral("end")}));

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

void TestUpdateClient::progressStepsContinueOverDownloads()
{
    Owner owner(true);
    serveInstaller(QByteArray(504295, 'a'));
    startDownload(owner, QStringLiteral("http://downloads.test/pdfinstall.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.texts.last(), QStringLiteral("0"));

    serveInstaller(QByteArray(1, 'b'));
    owner.on_install_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 3, kWait);
    QCOMPARE(owner.texts.last(), QStringLiteral("1"));
    QCOMPARE(owner.bar.value(), 70);
    // The second download starts the file afresh.
    QCOMPARE(QFileInfo(InstallerLocation::file()).size(), 1);

    // The count goes on past 2 GiB.
    owner.writtenbytes = std::numeric_limits<qint32>::max();
    owner.on_install_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 4, kWait);
    QCOMPARE(owner.texts.last(), QString::number((qint64(std::numeric_limits<qint32>::max()) + 1) / 504296));
}

void TestUpdateClient::incompleteDownloadsStartNothing_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("removeFolder");
    QTest::addColumn<QString>("event");
    QTest::addColumn<qint64>("fileSize");

    HttpResponse halfway;
    halfway.generatedSize = 4000000;
    halfway.cutAfter = 2000000;
    QTest::newRow("cut halfway") << halfway << false << "failed-network" << qint64(-1);
    HttpResponse whole;
    whole.generatedSize = 3000000;
    QTest::newRow("installer folder missing") << whole << true << "failed-network" << qint64(0);
    QTest::newRow("error page") << HttpResponse{404, {}, "not found", -1, -1, false} << false << "failed-network"
                                << qint64(0);
    QTest::newRow("redirect") << HttpResponse{302,  {{"Location", "http://elsewhere.test/x.exe"}}, "moved", -1, -1,
                                              false}
                              << false << "failed-status" << qint64(0);
}

void TestUpdateClient::incompleteDownloadsStartNothing()
{
    QFETCH(HttpResponse, response);
    QFETCH(bool, removeFolder);
    QFETCH(QString, event);
    QFETCH(qint64, fileSize);

    FakeElevation elevation;
    m_server->setHandler([response](const HttpRequest &request) {
        return request.method == "POST" ? HttpResponse{200, {}, "{}", -1, -1, false} : response;
    });
    if (removeFolder)
        QVERIFY(QDir(InstallerLocation::folder()).removeRecursively());
    Owner owner;
    startDownload(owner, QStringLiteral("http://downloads.test/pdfinstall.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.events, QStringList({QStringLiteral("start"), event}));

    const QFileInfo file(InstallerLocation::file());
    if (fileSize < 0) {
        // The partial file stays.
        QVERIFY(file.size() > 0 && file.size() <= 2000000);
    } else {
        QCOMPARE(file.exists() ? file.size() : 0, fileSize);
    }
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void TestUpdateClient::emptyDownload()
{
    FakeElevation elevation;
    Owner owner;
    serveInstaller(QByteArray());
    QFile stale(InstallerLocation::file());
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("old") == 3);
    stale.close();
    startDownload(owner, QStringLiteral("http://downloads.test/pdfinstall.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), QStringLiteral("end")}));
    QVERIFY(!stale.exists());
    QVERIFY(owner.texts.isEmpty());
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void TestUpdateClient::staleFileIsReplaced()
{
    QFile stale(InstallerLocation::file());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    QVERIFY(stale.write(QByteArray(5000000, 'x')) == 5000000);
    stale.close();

    Owner owner;
    serveInstaller("fresh installer");
    startDownload(owner, QStringLiteral("http://downloads.test/pdfinstall.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QVERIFY(stale.open(QIODevice::ReadOnly));
    QCOMPARE(stale.readAll(), QByteArray("fresh installer"));
    stale.close();

    // A file that turns up while the download is on its way is overwritten,
    // not appended to.
    const QString path = InstallerLocation::file();
    m_server->setHandler([path](const HttpRequest &) {
        QFile intruder(path);
        if (intruder.open(QIODevice::WriteOnly))
            intruder.write(QByteArray(100000, 'y'));
        return HttpResponse{200, {}, "second installer", -1, -1, false};
    });
    owner.on_install_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 3, kWait);
    QVERIFY(stale.open(QIODevice::ReadOnly));
    QCOMPARE(stale.readAll(), QByteArray("second installer"));
    stale.close();

    // An old installer that cannot be removed fails the download at once.
    QVERIFY(stale.remove());
    QVERIFY(QDir().mkpath(InstallerLocation::file() + QStringLiteral("/blocker")));
    const int requests = m_server->requests().size();
    owner.events.clear();
    owner.on_install_clicked();
    QCOMPARE(owner.events, QStringList({QStringLiteral("start"), QStringLiteral("failed-network")}));
    QTest::qWait(200);
    QCOMPARE(m_server->requests().size(), requests);
}

void TestUpdateClient::urlsThatAreNotDownloaded_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("capital EXE") << "http://downloads.test/PDFINSTALL.EXE";
    QTest::newRow("query after .exe") << "http://downloads.test/pdfinstall.exe?v=2";
    QTest::newRow("ftp") << "ftp://downloads.test/pdfinstall.exe";
    QTest::newRow("file") << "file:///tmp/pdfinstall.exe";
    QTest::newRow("data") << "data:application/octet-stream,MZ.exe";
    QTest::newRow("qrc") << "qrc:/pdfinstall.exe";
    QTest::newRow("empty") << "";
}

void TestUpdateClient::urlsThatAreNotDownloaded()
{
    QFETCH(QString, url);
    QFile old(InstallerLocation::file());
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();

    serveInstaller("new");
    Owner owner;
    startDownload(owner, url);
    QNetworkReply *const checkReply = owner.reply;
    QTest::qWait(300);
    QVERIFY(owner.events.isEmpty());
    QCOMPARE(owner.reply, checkReply);
    QCOMPARE(owner.finished, 1);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(old.exists());
}

void TestUpdateClient::finishedReplyIsNotKept()
{
    serveInstaller("MZ");
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    Owner owner;
    owner.check();
    QPointer<QNetworkReply> checkReply = owner.reply;
    QVERIFY(checkReply);
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!checkReply, kWait);
    // The released reply must not stay behind in the member: the install
    // button asks the member whether a download is still running.
    QCOMPARE(owner.reply, nullptr);
    owner.events.clear();
    owner.downloadurl = QStringLiteral("http://downloads.test/pdfinstall.exe");
    owner.on_install_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(owner.finished, 2, kWait);
    QCOMPARE(owner.events, QStringList({QStringLiteral("start"), QStringLiteral("completion"), QStringLiteral("end")}));
    QCOMPARE(owner.reply, nullptr);
}

QTEST_MAIN(TestUpdateClient)
#include "tst_updateclient.moc"
