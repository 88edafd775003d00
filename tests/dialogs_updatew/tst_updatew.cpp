#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "UpdateService.h"
#include "UpdateW.h"
#include "ui_UpdateW.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QNetworkProxy>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWait = 30000;
const char kOfferUrl[] = "http://downloads.test/download/pdfinstall.exe";

bool hasNativeWindow(const QWidget *w)
{
    return w->testAttribute(Qt::WA_WState_Created) && w->windowHandle() && w->internalWinId() != 0;
}

HttpResponse answer(const QByteArray &body, int status = 200)
{
    return HttpResponse{status, {}, body, -1, -1, false};
}

// An installer that records its start (FakeElevation), padded to `size`
// bytes behind its last command so that the download comes in many chunks.
QByteArray paddedInstaller(const FakeElevation &elevation, int size)
{
    QByteArray script = elevation.installerScript() + "exit 0\n";
    while (script.size() < size)
        script += QByteArray(99, '#') + '\n';
    return script.left(size);
}

// Serves as the HTTP proxy of the download: answers the first request with
// the head and the first `firstPart` bytes of `body`, and the rest only when
// released, so the dialog can be looked at in the middle of a download.
class StallingServer : public QObject
{
public:
    StallingServer(const QByteArray &body, int firstPart)
        : m_body(body)
        , m_firstPart(firstPart)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server.nextPendingConnection();
            connect(m_socket, &QTcpSocket::readyRead, this, &StallingServer::onRequest);
            connect(m_socket, &QTcpSocket::disconnected, this, [this] { m_clientGone = true; });
        });
        m_server.listen(QHostAddress::LocalHost);
        QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_server.serverPort()));
    }

    void release()
    {
        m_socket->write(m_body.mid(m_firstPart));
        m_socket->disconnectFromHost();
    }
    bool requested() const { return m_answered; }
    bool clientGone() const { return m_clientGone; }

private:
    void onRequest()
    {
        m_request += m_socket->readAll();
        if (m_answered || !m_request.contains("\r\n\r\n"))
            return;
        m_answered = true;
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size())
                        + "\r\nConnection: close\r\n\r\n" + m_body.left(m_firstPart));
    }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_request;
    QByteArray m_body;
    int m_firstPart;
    bool m_answered = false;
    bool m_clientGone = false;
};

} // namespace

Q_DECLARE_METATYPE(HttpResponse)

class TestUpdateW : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The form
    void formGeometryAndStacking();
    void formStylesAndTexts();
    void formOnAnotherDialogKeepsItsName();
    void metaObject();
    void buttonsReachTheirSlots();

    // The states
    void checkingThenOffered_data();
    void checkingThenOffered();
    void offerWithoutInstallerUrl();
    void downloadingThenInstalling();
    void closedWindowStillInstalls();
    void closedDuringCheckStillReacts();
    void deletingTheDialogEndsTheDownload();

    // Failures
    void failuresDestroyTheWindow_data();
    void failuresDestroyTheWindow();

    // Dragging
    void dragging();

private:
    struct Dialog;
    void serveOffer(const QString &version, const QString &notes, const QString &url, const QByteArray &installer);

    QTemporaryDir m_config;
    LoopbackUpdateServer *m_server = nullptr;
};

// The dialog as an owner would have it: shown, with a native window, kept
// nearly transparent until an offer arrives.
struct TestUpdateW::Dialog
{
    QWidget owner;
    UpdateW *w;

    Dialog()
    {
        QTest::ignoreMessage(QtWarningMsg, "QMetaObject::connectSlotsByName: No matching signal for on_ok_clicked()");
        w = new UpdateW(&owner);
        w->setWindowOpacity(0.01);
        w->show();
    }
    template<typename T>
    T *child(const char *name) const
    {
        return w->findChild<T *>(QLatin1String(name));
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QString text(const char *label) const { return child<QLabel>(label)->text(); }
    bool offered() const { return text("updateinfo") != QLatin1String("v2.6.0.0"); }
};

void TestUpdateW::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QVERIFY(InstallerLocation::folder().startsWith(m_config.path()));
}

void TestUpdateW::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    QDir(InstallerLocation::folder()).removeRecursively();
    QVERIFY(QDir().mkpath(InstallerLocation::folder()));
    m_server->setHandler([](const HttpRequest &) { return answer("{\"code\":0}"); });
}

void TestUpdateW::cleanup()
{
    delete m_server;
    m_server = nullptr;
}

void TestUpdateW::serveOffer(const QString &version, const QString &notes, const QString &url,
                             const QByteArray &installer)
{
    const QByteArray check = UpdateService::checkAnswer(true, url, version, notes);
    m_server->setHandler([check, installer](const HttpRequest &request) {
        return request.method == "POST" ? answer(check) : answer(installer);
    });
}

void TestUpdateW::formGeometryAndStacking()
{
    Dialog d;
    QCOMPARE(d.w->objectName(), QStringLiteral("UpdateW"));
    QCOMPARE(d.w->size(), QSize(472, 357));
    // The whole rectangle stays visible through the mask.
    QCOMPARE(d.w->mask(), QRegion(0, 0, 472, 357));

    struct Row
    {
        const char *name;
        const char *cls;
        const char *parent;
        QRect geometry;
    };
    const Row rows[] = {
            {"body", "QFrame", "UpdateW", {1, 1, 470, 355}},
            {"head", "QFrame", "body", {0, 0, 470, 140}},
            {"titleinfo", "QLabel", "head", {186, 40, 101, 21}},
            {"closebt", "QPushButton", "head", {441, 0, 29, 29}},
            {"fupdate", "QFrame", "body", {0, 140, 470, 215}},
            {"updateinfo", "QLabel", "fupdate", {32, 20, 111, 16}},
            {"install", "QPushButton", "fupdate", {264, 160, 120, 36}},
            {"updateversion", "QPlainTextEdit", "fupdate", {30, 40, 420, 85}},
            {"laterbt", "QPushButton", "fupdate", {86, 160, 120, 36}},
            {"updaterate", "QFrame", "fupdate", {0, 135, 470, 80}},
            {"rate", "QProgressBar", "updaterate", {23, 50, 425, 10}},
            {"rateno", "QLabel", "updaterate", {405, 22, 41, 20}},
            {"downloadinfo", "QLabel", "updaterate", {25, 25, 161, 16}},
    };
    for (const Row &row : rows) {
        QWidget *w = d.child<QWidget>(row.name);
        QVERIFY2(w, row.name);
        QCOMPARE(w->metaObject()->className(), row.cls);
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(row.parent));
        QCOMPARE(w->geometry(), row.geometry);
        QCOMPARE(w->minimumSize(), QSize(0, 0));
        QCOMPARE(w->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        if (auto *frame = qobject_cast<QFrame *>(w); frame && row.cls == QByteArray("QFrame")) {
            QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
            QCOMPARE(frame->frameShadow(), QFrame::Raised);
        }
    }
    QVERIFY(!d.w->layout());
    for (const char *name : {"closebt", "install", "laterbt"})
        QCOMPARE(d.button(name)->cursor().shape(), Qt::PointingHandCursor);

    // Stacking: children are listed bottom to top.
    auto order = [&d](const char *parent) {
        QStringList names;
        for (QObject *o : d.child<QWidget>(parent)->children())
            names << o->objectName();
        return names;
    };
    QCOMPARE(order("body"), QStringList({"fupdate", "head"}));
    const QStringList inFupdate = order("fupdate");
    QVERIFY(inFupdate.indexOf("updaterate") > inFupdate.indexOf("install"));
    QVERIFY(inFupdate.indexOf("updaterate") > inFupdate.indexOf("laterbt"));
    // The strip covers both buttons, not the notes.
    QWidget *strip = d.child<QWidget>("updaterate");
    QVERIFY(strip->geometry().contains(d.button("install")->geometry()));
    QVERIFY(strip->geometry().contains(d.button("laterbt")->geometry()));
    QVERIFY(!strip->geometry().intersects(d.child<QWidget>("updateversion")->geometry()));

    const QFont info = d.child<QLabel>("updateinfo")->font();
    QCOMPARE(info.family(), QString::fromUtf8("微软雅黑"));
    QCOMPARE(info.pointSize(), 11);
    QCOMPARE(info.weight(), 75);
    QVERIFY(!info.italic());
    QLabel *rateno = d.child<QLabel>("rateno");
    QCOMPARE(rateno->font().family(), QString::fromUtf8("微软雅黑"));
    QCOMPARE(rateno->font().pointSize(), 11);
    QCOMPARE(rateno->font().weight(), 75);
    QCOMPARE(rateno->alignment(), Qt::AlignRight | Qt::AlignVCenter);

    // The notes take no typing.
    auto *notes = d.child<QPlainTextEdit>("updateversion");
    QVERIFY(notes->isReadOnly());
    notes->setFocus();
    QTest::keyClicks(notes, "typed");
    QCOMPARE(notes->toPlainText(), QString());
}

void TestUpdateW::formStylesAndTexts()
{
    Dialog d;
    const QPair<const char *, const char *> styles[] = {
            {"UpdateW", "QDialog\n{\nbackground-color: rgb(38, 143, 240);\n\tborder:0px;\n}"},
            {"body", "QFrame#body\n{\nborder:0px;\nbackground-color: rgb(255, 255, 255);\n}"},
            {"head", "QFrame#head\n{\nborder:0px;\n\tbackground-image: url(:/images/pic_faxxbb_bj.png);\n\n}"},
            {"titleinfo", "QLabel#titleinfo\n{\n        font: 20px \"微软雅黑\";\n\tcolor: rgb(255, 255, 255);\n}"},
            {"closebt",
             "QPushButton#closebt\n{\n\tbackground-image: url(:/images/icon_vip_c.png);\n\tborder: "
             "0px;\n}\nQPushButton#closebt:hover\n{\n    background-image: "
             "url(:/images/icon_vip_gn_dh_02.png);\n\tborder: 0px;\n}\nQPushButton#closebt:pressed\n{\n    "
             "background-image: url(:/images/icon_vip_gn_dh_03.png);\n\tborder: 0px;\n}"},
            {"fupdate", "background-color: rgb(255, 255, 255);"},
            {"updateinfo", ""},
            {"install",
             "QPushButton#install\n{\nborder:0px;\n\tbackground-image: "
             "url(:/images/btn_ljgx_01.png);\n}\nQPushButton#install::hover\n{\nborder:0px;\n\tbackground-image: "
             "url(:/images/btn_ljgx_02.png);\n}\nQPushButton#install::pressed\n{\nborder:0px;\n\tbackground-image: "
             "url(:/images/btn_ljgx_03.png);\n}"},
            {"updateversion",
             "QPlainTextEdit#updateversion\n{\nborder:0px;\n\tfont: 14px \"微软雅黑\";\n\tcolor: rgb(68, 68, "
             "68);\n}\nQScrollBar:vertical {background: #ffffff;max-width:10px;margin: 10px 0 10px 0;} "
             "\nQScrollBar::handle:vertical{background: #c4c4c4;border: 1px solid "
             "#ffffff;border-radius:4px;max-height:22px;}\nQScrollBar::add-line:vertical {border: 2px solid "
             "#ffffff;background: #ffffff;height: 8px;subcontrol-position: bottom;subcontrol-origin: "
             "margin;border-radius:4px;}\nQScrollBar::sub-line:vertical {border: 2px solid #ffffff;background: "
             "#ffffff;height: 8px;subcontrol-position: top;subcontrol-origin: "
             "margin;border-radius:4px;}\nQScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {background: "
             "none;}"},
            {"laterbt",
             "QPushButton#laterbt\n{\nborder:0px;\n\n\tbackground-image: "
             "url(:/images/btn_xczs_01.png);\n}\nQPushButton#laterbt::hover\n{\nborder:0px;\n\n\tbackground-image: "
             "url(:/images/btn_xczs_02.png);\n}\nQPushButton#laterbt::pressed\n{\nborder:0px;\n\n\tbackground-image: "
             "url(:/images/btn_xczs_03.png);\n}"},
            {"updaterate", "QFrame#updaterate\n{\nbackground-color: rgb(255, 255, 255);\n}"},
            {"rate",
             "QProgressBar {\n   border:0px;\n\tbackground-color: rgb(211, 211, 211);\nborder-radius:5px;\n\n}\n "
             "\nQProgressBar::chunk {\n   background-color: #1192F4;\nborder-radius:5px;\n\n\t\n}"},
            {"rateno", "\ncolor: rgb(0, 132, 255);"},
            {"downloadinfo", "font: 14px \"微软雅黑\";\ncolor: rgb(102, 102, 102);"},
    };
    for (const auto &style : styles) {
        const QWidget *w = style.first == QByteArray("UpdateW") ? d.w : d.child<QWidget>(style.first);
        QCOMPARE(w->styleSheet(), QString::fromUtf8(style.second));
    }
    QCOMPARE(d.child<QPlainTextEdit>("updateversion")->verticalScrollBar()->styleSheet(),
             QStringLiteral(
                     "QScrollBar{background:transparent; width: 10px;}QScrollBar::handle{background:lightgray; "
                     "border:2px solid transparent; border-radius:5px;}QScrollBar::handle:hover{background:gray;}"
                     "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}"));

    QCOMPARE(d.w->windowTitle(), QString::fromUtf8("OrvalinPDF转换器"));
    QCOMPARE(d.text("titleinfo"), QString::fromUtf8("发现新版本"));
    QCOMPARE(d.text("updateinfo"), QStringLiteral("v2.6.0.0"));
    QCOMPARE(d.text("rateno"), QStringLiteral("100%"));
    QCOMPARE(d.text("downloadinfo"), QString::fromUtf8("正在下载，请稍后..."));
    for (const char *name : {"closebt", "install", "laterbt"})
        QCOMPARE(d.button(name)->text(), QString());
    QCOMPARE(d.child<QPlainTextEdit>("updateversion")->toPlainText(), QString());
    auto *rate = d.child<QProgressBar>("rate");
    QCOMPARE(rate->format(), QString());
    QCOMPARE(rate->text(), QString());
    QCOMPARE(rate->value(), 0);
    QCOMPARE(rate->minimum(), 0);
    QCOMPARE(rate->maximum(), 100);
}

void TestUpdateW::formOnAnotherDialogKeepsItsName()
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("offer"));
    Ui::UpdateW form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("offer"));
    QCOMPARE(dialog.size(), QSize(472, 357));
    QCOMPARE(form.install->parentWidget(), form.fupdate);
}

void TestUpdateW::metaObject()
{
    const QMetaObject &mo = UpdateW::staticMetaObject;
    QCOMPARE(mo.className(), "UpdateW");
    QCOMPARE(mo.superClass(), &QDialog::staticMetaObject);
    QCOMPARE(mo.propertyCount(), mo.propertyOffset());
    const QByteArray expected[] = {"on_closebt_clicked()", "UpdateFinished(QNetworkReply*)",
                                   "writeexedata()",       "on_install_clicked()",
                                   "on_ok_clicked()",      "on_laterbt_clicked()"};
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 6);
    for (int i = 0; i < 6; ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(m.methodSignature(), expected[i]);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
    }
}

void TestUpdateW::buttonsReachTheirSlots()
{
    // The ok slot has no button; Qt says so while the form is set up (the
    // test fails if the message does not come).
    for (const char *button : {"closebt", "laterbt", "ok"}) {
        Dialog d;
        QVERIFY(!d.w->findChild<QObject *>(QStringLiteral("ok")));
        QVERIFY(hasNativeWindow(d.w));
        if (QByteArray(button) == "ok")
            QVERIFY(QMetaObject::invokeMethod(d.w, "on_ok_clicked"));
        else
            QTest::mouseClick(d.button(button), Qt::LeftButton);
        QVERIFY2(!hasNativeWindow(d.w), button);
        // Nothing else happens: no dialog result, no deletion.
        QCOMPARE(d.w->result(), 0);
        QCOMPARE(d.owner.findChildren<UpdateW *>().size(), 1);
    }

    serveOffer("9", "notes", kOfferUrl, "installer");
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QVERIFY(!d.button("install")->isEnabled());
    QVERIFY(d.child<QWidget>("updaterate")->isVisible());
}

void TestUpdateW::checkingThenOffered_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("notes");
    QTest::newRow("version and notes") << "9.1.0.0" << QString::fromUtf8("修复了若干问题。\n提升转换速度。");
    QTest::newRow("empty version") << ""
                                   << "notes";
}

void TestUpdateW::checkingThenOffered()
{
    QFETCH(QString, version);
    QFETCH(QString, notes);
    serveOffer(version, notes, kOfferUrl, "installer");

    Dialog d;
    // Checking: the form as set up, the download strip hidden.
    QVERIFY(!d.child<QWidget>("updaterate")->isVisible());
    QVERIFY(d.child<QWidget>("fupdate")->isVisible());
    QCOMPARE(d.text("updateinfo"), QStringLiteral("v2.6.0.0"));
    QVERIFY(d.w->windowOpacity() < 0.1);
    auto *edit = d.child<QPlainTextEdit>("updateversion");
    edit->insertPlainText(QStringLiteral("earlier\n"));
    d.child<QWidget>("fupdate")->setVisible(false);

    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().path, QByteArray("/ver1/checkUpdate"));
    QCOMPARE(d.text("updateinfo"), QStringLiteral("v") + version);
    // The notes are added at the cursor, not put in place of what was there.
    QCOMPARE(edit->toPlainText(), QStringLiteral("earlier\n") + notes);
    QVERIFY(d.child<QWidget>("fupdate")->isVisible());
    QCOMPARE(d.w->windowOpacity(), 1.0);
    QVERIFY(hasNativeWindow(d.w));
    QVERIFY(!d.child<QWidget>("updaterate")->isVisible());
    QVERIFY(d.button("install")->isEnabled());
}

void TestUpdateW::offerWithoutInstallerUrl()
{
    serveOffer("9", "notes", QStringLiteral("http://downloads.test/PDFINSTALL.EXE"), "installer");
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QVERIFY(d.button("install")->isEnabled());
    QVERIFY(!d.child<QWidget>("updaterate")->isVisible());
    QTest::qWait(200);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(hasNativeWindow(d.w));
}

void TestUpdateW::downloadingThenInstalling()
{
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = paddedInstaller(elevation, 3500000);
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);

    StallingServer stall(installer, 2200000);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    // Downloading: the strip covers the buttons and counts whole megabytes.
    QVERIFY(!d.button("install")->isEnabled());
    QWidget *strip = d.child<QWidget>("updaterate");
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->parentWidget()->children().last(), strip);
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), QStringLiteral("2%"), kWait);
    QCOMPARE(d.child<QProgressBar>("rate")->value(), 2);
    QCOMPARE(d.text("downloadinfo"), QString::fromUtf8("正在下载，请稍后..."));
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));

    stall.release();
    // Installing: the completion display, the installer started elevated.
    QTRY_COMPARE_WITH_TIMEOUT(d.text("downloadinfo"), QString::fromUtf8("正在安装，请稍后..."), kWait);
    QCOMPARE(d.text("rateno"), QStringLiteral("70%"));
    QCOMPARE(d.child<QProgressBar>("rate")->value(), 70);
    QVERIFY(d.button("install")->isEnabled());
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(QFileInfo(run.workingDirectory).canonicalFilePath(),
             QFileInfo(InstallerLocation::folder()).canonicalFilePath());
    QVERIFY(hasNativeWindow(d.w));
}

void TestUpdateW::closedWindowStillInstalls()
{
    FakeElevation elevation;
    const QByteArray installer = paddedInstaller(elevation, 2500000);
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);
    StallingServer stall(installer, 1200000);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), QStringLiteral("1%"), kWait);

    QTest::mouseClick(d.button("closebt"), Qt::LeftButton);
    QVERIFY(!hasNativeWindow(d.w));
    stall.release();
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), QStringLiteral("70%"), kWait);
    QVERIFY(d.button("install")->isEnabled());
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(QFileInfo(InstallerLocation::file()).size(), qint64(installer.size()));
    QVERIFY(!hasNativeWindow(d.w));
}

void TestUpdateW::closedDuringCheckStillReacts()
{
    serveOffer("9.2", "notes", kOfferUrl, "installer");
    Dialog d;
    QTest::mouseClick(d.button("laterbt"), Qt::LeftButton);
    QVERIFY(!hasNativeWindow(d.w));
    QTRY_COMPARE_WITH_TIMEOUT(d.text("updateinfo"), QStringLiteral("v9.2"), kWait);
    QCOMPARE(d.w->windowOpacity(), 1.0);
}

void TestUpdateW::deletingTheDialogEndsTheDownload()
{
    FakeElevation elevation;
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    auto d = std::make_unique<Dialog>();
    QTRY_VERIFY_WITH_TIMEOUT(d->offered(), kWait);
    StallingServer stall(paddedInstaller(elevation, 2500000), 1200000);
    QTest::mouseClick(d->button("install"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(stall.requested(), kWait);
    d.reset();
    QTRY_VERIFY_WITH_TIMEOUT(stall.clientGone(), kWait);
}

void TestUpdateW::failuresDestroyTheWindow_data()
{
    QTest::addColumn<bool>("duringDownload");
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("removeFolder");

    QTest::newRow("check: connection dropped") << false << HttpResponse{200, {}, {}, -1, -1, true} << false;
    QTest::newRow("check: 302") << false << answer("{\"code\":1}", 302) << false;
    QTest::newRow("check: 500") << false << answer("{\"code\":1}", 500) << false;
    QTest::newRow("check: code 0") << false << answer("{\"code\":0,\"responseData\":{}}") << false;
    QTest::newRow("check: code as text") << false << answer("{\"code\":\"1\"}") << false;
    QTest::newRow("check: not an object") << false << answer("[1]") << false;
    QTest::newRow("check: not JSON") << false << answer("<html>") << false;
    // The download rows serve the recording installer, so a start would show.
    QTest::newRow("download: cut halfway") << true << HttpResponse{200, {}, {}, -1, 1000000, false} << false;
    QTest::newRow("download: 404") << true << answer({}, 404) << false;
    QTest::newRow("download: 302") << true
                                   << HttpResponse{302,  {{"Location", "http://elsewhere.test/x.exe"}}, {}, -1, -1,
                                                   false}
                                   << false;
    QTest::newRow("download: folder missing") << true << answer({}) << true;
}

void TestUpdateW::failuresDestroyTheWindow()
{
    QFETCH(bool, duringDownload);
    QFETCH(HttpResponse, response);
    QFETCH(bool, removeFolder);

    FakeElevation elevation;
    if (response.body.isEmpty() && !response.drop)
        response.body = paddedInstaller(elevation, 2000000);
    const QByteArray offer = UpdateService::checkAnswer(true, kOfferUrl, "9", "notes");
    m_server->setHandler([=](const HttpRequest &request) {
        return request.method == "POST" && duringDownload ? answer(offer) : response;
    });

    Dialog d;
    if (duringDownload) {
        QTRY_VERIFY_WITH_TIMEOUT(d.offered(), kWait);
        if (removeFolder)
            QVERIFY(QDir(InstallerLocation::folder()).removeRecursively());
        QTest::mouseClick(d.button("install"), Qt::LeftButton);
        QVERIFY(!d.button("install")->isEnabled());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(d.w), kWait);
    QVERIFY(d.button("install")->isEnabled());
    if (!duringDownload)
        QVERIFY(!d.offered());
    QTest::qWait(300);
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

void TestUpdateW::dragging()
{
    QApplication::setStartDragDistance(10);
    Dialog d;
    d.w->move(0, 0);
    QCOMPARE(d.w->pos(), QPoint(0, 0));

    auto send = [&d](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(global - d.w->pos()), QPointF(global), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(d.w, &event);
    };
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    // The new top-left corner (3, 4) lies within the start-drag distance of
    // the origin; (6, 5) does not.
    send(QEvent::MouseMove, {103, 104}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(0, 0));
    send(QEvent::MouseMove, {106, 105}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(6, 5));
    send(QEvent::MouseMove, {150, 130}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));
    // No button held: no move.
    send(QEvent::MouseMove, {200, 200}, Qt::NoButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));
    send(QEvent::MouseButtonRelease, {150, 130}, Qt::NoButton);
    send(QEvent::MouseMove, {250, 250}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));

    // A press on a button that takes the mouse does not start a drag.
    QTest::mousePress(d.child<QWidget>("updateversion")->findChild<QWidget *>(QStringLiteral("qt_scrollarea_viewport")),
                      Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    send(QEvent::MouseMove, {400, 400}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));
}

QTEST_MAIN(TestUpdateW)
#include "tst_updatew.moc"
