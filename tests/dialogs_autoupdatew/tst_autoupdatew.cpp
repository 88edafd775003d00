#include "AutoUpdateW.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "UpdateService.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

constexpr int kWait = 30000;
constexpr int kStep = 504296;
const QString kDownloadUrl = QStringLiteral("http://downloads.test/download/pdfinstall.exe");

bool windowAlive(const QWidget *widget)
{
    return widget->testAttribute(Qt::WA_WState_Created) && widget->windowHandle();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// An installer that records its start, padded with comment lines to `size`
// so that it arrives in many chunks.
QByteArray paddedInstaller(const FakeElevation &elevation, int size)
{
    QByteArray script = elevation.installerScript();
    const QByteArray line = "# " + QByteArray(97, 'p') + '\n';
    while (script.size() + line.size() <= size)
        script += line;
    return script;
}

} // namespace

// Sees the dialog's network traffic from outside: the first event that reaches
// a reply leads to its manager, whose finished(QNetworkReply*) is then also
// connected here, after the dialog's own slot, so each record is taken right
// after the dialog has handled the reply in the same emission.
class NetworkWatch : public QObject
{
    Q_OBJECT

public:
    struct Chunk
    {
        QString text;
        int bar;
    };

    explicit NetworkWatch(AutoUpdateW **dialog)
        : m_dialog(dialog)
    {
        qApp->installEventFilter(this);
    }
    ~NetworkWatch() override { qApp->removeEventFilter(this); }

    bool checkHandled = false;
    // Taken when the dialog has handled the check answer.
    bool downloadRunningAfterCheck = false;
    double opacityAfterCheck = -1;
    bool downloadFinished = false;
    QList<Chunk> chunks;
    std::function<void()> onFirstChunk;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::DeferredDelete) {
            if (auto *reply = qobject_cast<QNetworkReply *>(object))
                hook(reply->manager());
        }
        return false;
    }

private:
    void hook(QNetworkAccessManager *manager)
    {
        if (!manager || m_managers.contains(manager))
            return;
        m_managers.append(manager);
        connect(manager, &QObject::destroyed, this, [this, manager] { m_managers.removeAll(manager); });
        connect(manager, &QNetworkAccessManager::finished, this, [this, manager](QNetworkReply *reply) {
            if (reply->url().path() == QLatin1String("/ver1/checkUpdate")) {
                checkHandled = true;
                opacityAfterCheck = (*m_dialog)->windowOpacity();
                for (QNetworkReply *other : manager->findChildren<QNetworkReply *>()) {
                    if (other != reply && other->url() == QUrl(kDownloadUrl) && other->isRunning()) {
                        downloadRunningAfterCheck = true;
                        connect(other, &QIODevice::readyRead, this, [this] { record(); });
                    }
                }
            } else if (reply->url() == QUrl(kDownloadUrl)) {
                // Bytes left at the end are stored by the dialog's slot.
                if (chunks.isEmpty() || chunks.last().text != rateno()->text())
                    record();
                downloadFinished = true;
            }
        });
    }

    QLabel *rateno() const { return (*m_dialog)->findChild<QLabel *>(QStringLiteral("rateno")); }

    void record()
    {
        chunks.append({rateno()->text(), (*m_dialog)->findChild<QProgressBar *>(QStringLiteral("rate"))->value()});
        if (chunks.size() == 1 && onFirstChunk)
            onFirstChunk();
    }

    AutoUpdateW **m_dialog;
    QList<QNetworkAccessManager *> m_managers;
};

Q_DECLARE_METATYPE(HttpResponse)

class TestAutoUpdateW : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void slotsAndClosing();
    void dragging();
    void installerFile_data();
    void installerFile();
    void progress_data();
    void progress();
    void checkWithoutOffer_data();
    void checkWithoutOffer();
    void offerNotDownloaded_data();
    void offerNotDownloaded();
    void downloadFailsHalfway();
    void closeDuringDownload();

private:
    // Offers kDownloadUrl and serves `installer` for it.
    void offer(const HttpResponse &installer);
    void createDialog(double opacity = 0.5);
    template<typename T>
    T *widget(const char *name) const
    {
        return m_dialog->findChild<T *>(QLatin1String(name));
    }

    QTemporaryDir m_config;
    QString m_convertIni;
    LoopbackUpdateServer *m_server = nullptr;
    QWidget *m_parent = nullptr;
    AutoUpdateW *m_dialog = nullptr;
    NetworkWatch *m_watch = nullptr;
};

void TestAutoUpdateW::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QVERIFY(InstallerLocation::folder().startsWith(m_config.path()));
    m_convertIni = QCoreApplication::applicationDirPath() + QStringLiteral("/convert.ini");
}

void TestAutoUpdateW::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    m_server->setHandler([](const HttpRequest &) { return HttpResponse{200, {}, "{\"code\":0}", -1, -1, false}; });
    QDir(InstallerLocation::folder()).removeRecursively();
    QVERIFY(QDir().mkpath(InstallerLocation::folder()));
    QFile::remove(m_convertIni);
    m_parent = new QWidget;
    m_watch = new NetworkWatch(&m_dialog);
}

void TestAutoUpdateW::cleanup()
{
    delete m_watch;
    m_watch = nullptr;
    delete m_parent; // and with it the dialog, its manager and any transfer
    m_parent = nullptr;
    m_dialog = nullptr;
    delete m_server;
    m_server = nullptr;
    QFile::remove(m_convertIni);
}

void TestAutoUpdateW::offer(const HttpResponse &installer)
{
    m_server->setHandler([installer](const HttpRequest &request) {
        if (request.method == "POST")
            return HttpResponse{
                    200,
                    {},
                    UpdateService::checkAnswer(true, kDownloadUrl, QStringLiteral("9.0"), QStringLiteral("notes")),
                    -1,
                    -1,
                    false};
        return installer;
    });
}

void TestAutoUpdateW::createDialog(double opacity)
{
    // The form's slots without a widget of their name are reported by Qt.
    for (const char *slot : {"on_install_clicked()", "on_ok_clicked()", "on_laterbt_clicked()"})
        QTest::ignoreMessage(
                QtWarningMsg,
                QByteArray("QMetaObject::connectSlotsByName: No matching signal for ").append(slot).constData());
    m_dialog = new AutoUpdateW(m_parent);
    // Like an owner that keeps the dialog unseen until there is an offer.
    m_dialog->setWindowOpacity(opacity);
    m_dialog->show();
    QVERIFY(windowAlive(m_dialog));
}

void TestAutoUpdateW::form()
{
    createDialog();
    AutoUpdateW &d = *m_dialog;
    QCOMPARE(d.objectName(), QStringLiteral("AutoUpdateW"));
    QCOMPARE(d.parentWidget(), m_parent);
    QCOMPARE(d.size(), QSize(479, 209));
    QCOMPARE(d.windowTitle(), QString::fromUtf8("OrvalinPDF转换器"));
    QCOMPARE(d.styleSheet(), QStringLiteral("border:0px;"));
    QCOMPARE(d.mask(), QRegion(0, 0, 479, 209));

    // Creation order is stacking order: nothing was raised or lowered.
    auto *body = widget<QFrame>("body");
    QVERIFY(body);
    QCOMPARE(body->parentWidget(), &d);
    QStringList names;
    for (QObject *child : body->children())
        names << child->objectName();
    QCOMPARE(names, QStringList({"closebt", "rate", "downloadinfo", "rateno", "label", "label_2"}));

    QCOMPARE(body->geometry(), d.rect());
    QCOMPARE(body->styleSheet(),
             QStringLiteral("QFrame#body\n{\nborder:0px;\n\tbackground-image: url(:/images/bgk_fxxbb.png);\n}"));
    QCOMPARE(body->frameShape(), QFrame::StyledPanel);
    QCOMPARE(body->frameShadow(), QFrame::Raised);

    auto *closebt = widget<QPushButton>("closebt");
    QCOMPARE(closebt->geometry(), QRect(440, 10, 29, 29));
    QCOMPARE(closebt->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(closebt->text(), QString());
    QCOMPARE(closebt->styleSheet(),
             QStringLiteral(
                     "QPushButton#closebt\n{\n\tbackground-image: url(:/images/icon_vip_c.png);\n\tborder: 0px;\n}\n"
                     "QPushButton#closebt:hover\n{\n    background-image: "
                     "url(:/images/icon_vip_gn_dh_02.png);\n\tborder: 0px;\n}\n"
                     "QPushButton#closebt:pressed\n{\n    background-image: "
                     "url(:/images/icon_vip_gn_dh_03.png);\n\tborder: 0px;\n}"));

    auto *rate = widget<QProgressBar>("rate");
    QCOMPARE(rate->geometry(), QRect(28, 160, 425, 10));
    QCOMPARE(rate->styleSheet(),
             QStringLiteral("QProgressBar {\n   border:0px;\n\tbackground-color: rgb(211, 211, "
                            "211);\nborder-radius:5px;\n\n}\n \n"
                            "QProgressBar::chunk {\n   background-color: #1192F4;\nborder-radius:5px;\n\n\t\n}"));
    QCOMPARE(rate->value(), 0);
    QCOMPARE(rate->minimum(), 0);
    QCOMPARE(rate->maximum(), 100);
    QCOMPARE(rate->format(), QString());
    QCOMPARE(rate->text(), QString());

    auto *downloadinfo = widget<QLabel>("downloadinfo");
    QCOMPARE(downloadinfo->geometry(), QRect(80, 80, 361, 20));
    QCOMPARE(downloadinfo->styleSheet(), QString::fromUtf8("font: 16px \"微软雅黑\";\ncolor: rgb(136, 136, 136);"));
    QCOMPARE(downloadinfo->text(), QString::fromUtf8("正在安装PDF转换器新版本，稍等片刻即可...."));

    auto *rateno = widget<QLabel>("rateno");
    QCOMPARE(rateno->geometry(), QRect(155, 120, 61, 31));
    QCOMPARE(rateno->font().family(), QString::fromUtf8("微软雅黑"));
    QCOMPARE(rateno->font().pointSize(), 18);
    QCOMPARE(rateno->font().weight(), 75);
    QCOMPARE(rateno->styleSheet(), QStringLiteral("color: rgb(0, 132, 255);"));
    QCOMPARE(rateno->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(rateno->text(), QStringLiteral("0"));

    auto *label = widget<QLabel>("label");
    QCOMPARE(label->geometry(), QRect(16, 13, 141, 20));
    QCOMPARE(label->styleSheet(), QString::fromUtf8("color: rgb(255, 255, 255);\nfont: 16px \"微软雅黑\";"));
    QCOMPARE(label->text(), QString::fromUtf8("发现新版本"));

    auto *label2 = widget<QLabel>("label_2");
    QCOMPARE(label2->geometry(), QRect(220, 130, 81, 16));
    QCOMPARE(label2->font().family(), QString::fromUtf8("微软雅黑"));
    QCOMPARE(label2->font().pointSize(), 12);
    QCOMPARE(label2->font().weight(), 75);
    QCOMPARE(label2->styleSheet(), QStringLiteral("color: rgb(0, 132, 255);"));
    QCOMPARE(label2->text(), QString::fromUtf8("%已完成"));

    // The figure ends where the words after it begin; nothing overlaps.
    QCOMPARE(rateno->geometry().right(), 215);
    QCOMPARE(label2->x(), 220);
    const QList<QWidget *> widgets = body->findChildren<QWidget *>();
    for (int i = 0; i < widgets.size(); ++i) {
        QVERIFY(body->rect().contains(widgets[i]->geometry()));
        for (int j = i + 1; j < widgets.size(); ++j)
            QVERIFY2(!widgets[i]->geometry().intersects(widgets[j]->geometry()),
                     qPrintable(widgets[i]->objectName() + " / " + widgets[j]->objectName()));
    }
    QCOMPARE(d.findChildren<QPushButton *>().size(), 1);
}

void TestAutoUpdateW::slotsAndClosing()
{
    createDialog();
    const QMetaObject *meta = m_dialog->metaObject();
    QCOMPARE(meta->className(), "AutoUpdateW");
    QVERIFY(m_dialog->qt_metacast("AutoUpdateW"));
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 6);
    const QByteArrayList expected{"on_closebt_clicked()", "UpdateFinished(QNetworkReply*)",
                                  "writeexedata()",       "on_install_clicked()",
                                  "on_ok_clicked()",      "on_laterbt_clicked()"};
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta->method(meta->methodOffset() + i);
        QCOMPARE(method.methodSignature(), expected[i]);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
    }
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());

    // closebt reaches its slot: the window goes, the object stays.
    QTest::mouseClick(widget<QPushButton>("closebt"), Qt::LeftButton);
    QVERIFY(!windowAlive(m_dialog));
    QCOMPARE(m_dialog->parentWidget(), m_parent);

    // The other closing slots, reached by name only.
    for (const char *slot : {"on_ok_clicked", "on_laterbt_clicked"}) {
        delete m_dialog;
        createDialog();
        QVERIFY(QMetaObject::invokeMethod(m_dialog, slot));
        QVERIFY2(!windowAlive(m_dialog), slot);
    }
}

void TestAutoUpdateW::dragging()
{
    createDialog();
    QApplication::setStartDragDistance(10);
    m_dialog->move(50, 50);
    const QPoint start = m_dialog->pos();
    auto send = [this](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(m_dialog->mapFromGlobal(global)), QPointF(global), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(m_dialog, &event);
    };
    send(QEvent::MouseButtonPress, start + QPoint(10, 10), Qt::LeftButton);
    // A new top-left corner at (3, 4) lies within the distance (7 <= 10).
    send(QEvent::MouseMove, QPoint(13, 14), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), start);
    send(QEvent::MouseMove, QPoint(16, 15), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), QPoint(6, 5));
    send(QEvent::MouseMove, QPoint(116, 115), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), QPoint(106, 105));
    // Without a button held, or after the release, nothing moves.
    send(QEvent::MouseMove, QPoint(200, 200), Qt::NoButton);
    QCOMPARE(m_dialog->pos(), QPoint(106, 105));
    send(QEvent::MouseButtonRelease, QPoint(200, 200), Qt::NoButton);
    send(QEvent::MouseMove, QPoint(300, 300), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), QPoint(106, 105));
}

void TestAutoUpdateW::installerFile_data()
{
    QTest::addColumn<bool>("writeIni");
    QTest::addColumn<QString>("updatedir"); // "<tmp>" stands for a fresh folder
    QTest::addColumn<QString>("expected");  // "<default>": the per-user installer file

    QTest::newRow("no convert.ini") << false << ""
                                    << "<default>";
    QTest::newRow("empty updatedir") << true << ""
                                     << "<default>";
    QTest::newRow("folder") << true << "<tmp>"
                            << "<tmp>/pdfinstall.exe";
    // The folder text is used as it stands, its separator included.
    QTest::newRow("folder with trailing separator") << true << "<tmp>/"
                                                    << "<tmp>//pdfinstall.exe";
    QTest::newRow("folder with Chinese name")
            << true << QString::fromUtf8("<tmp>/安装") << QString::fromUtf8("<tmp>/安装/pdfinstall.exe");
}

void TestAutoUpdateW::installerFile()
{
    QFETCH(bool, writeIni);
    QFETCH(QString, updatedir);
    QFETCH(QString, expected);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    updatedir.replace(QLatin1String("<tmp>"), folder.path());
    expected.replace(QLatin1String("<tmp>"), folder.path());
    expected.replace(QLatin1String("<default>"), InstallerLocation::file());
    if (writeIni) {
        QSettings convert(m_convertIni, QSettings::IniFormat);
        convert.setValue(QStringLiteral("Setting/updatedir"), updatedir);
        convert.setValue(QStringLiteral("Setting/other"), QStringLiteral("x"));
    }
    if (!updatedir.isEmpty())
        QVERIFY(QDir().mkpath(updatedir));
    // A stale installer from an earlier run, larger than the new one.
    writeFile(expected, QByteArray(3000000, 's'));

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = paddedInstaller(elevation, 200000);
    offer(HttpResponse{200, {}, installer, -1, -1, false});
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->downloadFinished, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), kWait);

    QCOMPARE(readFile(expected), installer);
    // Started as the installer file, with no working directory of its own.
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{expected});
    QCOMPARE(QFileInfo(run.workingDirectory).canonicalFilePath(), QDir::current().canonicalPath());
    if (!elevation.pkexecCalls().isEmpty())
        QCOMPARE(elevation.pkexecCalls().first().arguments, QStringList{QFileInfo(expected).absoluteFilePath()});

    // Nothing on screen changes at the end; the window stays.
    QVERIFY(windowAlive(m_dialog));
    QCOMPARE(m_dialog->windowOpacity(), 1.0);
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("0"));
    QCOMPARE(widget<QProgressBar>("rate")->value(), 0);
    QCOMPARE(widget<QLabel>("downloadinfo")->text(), QString::fromUtf8("正在安装PDF转换器新版本，稍等片刻即可...."));
    QCOMPARE(widget<QLabel>("label_2")->text(), QString::fromUtf8("%已完成"));
    if (expected != InstallerLocation::file())
        QVERIFY(!QFile::exists(InstallerLocation::file()));
}

void TestAutoUpdateW::progress_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("one byte short of a step") << qint64(kStep - 1) << "0";
    QTest::newRow("one step") << qint64(kStep) << "1";
    QTest::newRow("100 steps") << qint64(100) * kStep << "100";
    QTest::newRow("118 steps") << qint64(118) * kStep << "118";
}

void TestAutoUpdateW::progress()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);

    FakeElevation elevation;
    HttpResponse installer;
    installer.generatedSize = size;
    offer(installer);
    createDialog();

    // The download is under way as soon as the dialog has handled the offer.
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->checkHandled, kWait);
    QVERIFY(m_watch->downloadRunningAfterCheck);
    QCOMPARE(m_watch->opacityAfterCheck, 1.0);

    QTRY_VERIFY_WITH_TIMEOUT(m_watch->downloadFinished, 120000);
    QCOMPARE(QFileInfo(InstallerLocation::file()).size(), size);
    auto *rate = widget<QProgressBar>("rate");
    auto *rateno = widget<QLabel>("rateno");
    QCOMPARE(rateno->text(), text);
    QVERIFY(!m_watch->chunks.isEmpty());

    // Each chunk shows the number of whole steps; the bar keeps the last value
    // it accepted once the figure passes 100.
    int accepted = 0;
    qint64 previous = 0;
    for (const NetworkWatch::Chunk &chunk : qAsConst(m_watch->chunks)) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+$")).match(chunk.text).hasMatch(), qPrintable(chunk.text));
        const int value = chunk.text.toInt();
        QVERIFY(value >= previous);
        previous = value;
        if (value <= 100)
            accepted = value;
        QCOMPARE(chunk.bar, accepted);
    }
    QCOMPARE(rate->value(), qMin(accepted, 100));
    if (size > 100 * kStep)
        QVERIFY(accepted >= 90 && accepted <= 100);
    QCOMPARE(widget<QLabel>("label_2")->text(), QString::fromUtf8("%已完成"));
    QVERIFY(windowAlive(m_dialog));
}

void TestAutoUpdateW::checkWithoutOffer_data()
{
    QTest::addColumn<HttpResponse>("answer");
    QTest::newRow("302") << HttpResponse{
            302, {{"Location", "http://elsewhere.test/ver1/checkUpdate"}}, "{\"code\":1}", -1, -1, false};
    QTest::newRow("network error") << HttpResponse{200, {}, {}, -1, -1, true};
    QTest::newRow("code 0") << HttpResponse{200, {}, UpdateService::checkAnswer(false, {}, {}, {}), -1, -1, false};
    QTest::newRow("not an object") << HttpResponse{200, {}, "[1]", -1, -1, false};
}

void TestAutoUpdateW::checkWithoutOffer()
{
    QFETCH(HttpResponse, answer);
    m_server->setHandler([answer](const HttpRequest &request) {
        return request.method == "POST" ? answer : HttpResponse{200, {}, "installer", -1, -1, false};
    });
    writeFile(InstallerLocation::file(), "old");
    createDialog(0.5);
    const double opacity = m_dialog->windowOpacity();
    QTRY_VERIFY_WITH_TIMEOUT(!windowAlive(m_dialog), kWait);
    QTest::qWait(200);
    // (The network layer itself retries a dropped connection.)
    for (const HttpRequest &request : m_server->requests())
        QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(m_dialog->windowOpacity(), opacity);
    QVERIFY(opacity < 1.0);
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("old"));
}

void TestAutoUpdateW::offerNotDownloaded_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("capital EXE") << "http://downloads.test/download/PDFINSTALL.EXE";
    QTest::newRow("query after .exe") << "http://downloads.test/download/pdfinstall.exe?v=2";
}

void TestAutoUpdateW::offerNotDownloaded()
{
    QFETCH(QString, url);
    m_server->setHandler([url](const HttpRequest &) {
        return HttpResponse{200, {}, UpdateService::checkAnswer(true, url, QStringLiteral("9"), QString()),
                            -1,  -1, false};
    });
    writeFile(InstallerLocation::file(), "old");
    createDialog(0.5);
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->checkHandled, kWait);
    QCOMPARE(m_dialog->windowOpacity(), 1.0);
    QTest::qWait(300);
    QVERIFY(windowAlive(m_dialog));
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("0"));
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("old"));
}

void TestAutoUpdateW::downloadFailsHalfway()
{
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    HttpResponse installer{200, {}, paddedInstaller(elevation, 4000000), -1, 2000000, false};
    offer(installer);
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(!windowAlive(m_dialog), kWait);
    QVERIFY(m_watch->downloadRunningAfterCheck);
    // The partial file stays; nothing is started, not even later.
    const qint64 size = QFileInfo(InstallerLocation::file()).size();
    QVERIFY2(size > 0 && size <= 2000000, qPrintable(QString::number(size)));
    QTest::qWait(1000);
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void TestAutoUpdateW::closeDuringDownload()
{
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray bytes = paddedInstaller(elevation, 20000000);
    offer(HttpResponse{200, {}, bytes, -1, -1, false});
    bool closedAtOnce = false;
    m_watch->onFirstChunk = [this, &closedAtOnce] {
        QTest::mouseClick(widget<QPushButton>("closebt"), Qt::LeftButton);
        closedAtOnce = !windowAlive(m_dialog);
    };
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->downloadFinished, kWait);
    QVERIFY(closedAtOnce);
    QVERIFY(m_watch->chunks.size() > 1);
    QCOMPARE(readFile(InstallerLocation::file()), bytes);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), kWait);
    QCOMPARE(elevation.waitForInstallerRun().arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(widget<QLabel>("rateno")->text(), QString::number(bytes.size() / kStep));
}

QTEST_MAIN(TestAutoUpdateW)
#include "tst_autoupdatew.moc"
