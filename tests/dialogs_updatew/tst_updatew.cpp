#include "AccessibleControls.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "MissingGlyphs.h"
#include "NativeWindow.h"
#include "ShownPicture.h"
#include "StallingProxy.h"
#include "TestWait.h"
#include "UpdateService.h"
#include "UpdateTestSupport.h"
#include "UpdateW.h"
#include "ui_UpdateW.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace UpdateTest;

namespace {

const char kOfferUrl[] = "http://downloads.test/download/pdfinstall.exe";

// What is wrong with how `widget` shows the picture `name` (empty: nothing).
QString pictureNotShownBy(QWidget *widget, const QString &name)
{
    return pictureNotShown(widget->grab().toImage(), QImage(QStringLiteral(":/images/") + name));
}

} // namespace

Q_DECLARE_METATYPE(HttpResponse)

class tst_UpdateW : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The form
    void formAsShown();
    void picturesOfTheButtons_data();
    void picturesOfTheButtons();
    void stripCoversTheButtons();
    void formOnAnotherDialogKeepsItsName();
    void metaObject();
    void buttonsReachTheirSlots();

    // The states
    void checkingThenOffered_data();
    void checkingThenOffered();
    void textsHaveTheirGlyphs();
    void accessibleNames();
    void offerWithoutInstallerUrl();
    void downloadingThenInstalling();
    void closedWindowStillInstalls();
    void closedDuringCheckStillReacts();
    void deletingTheDialogEndsTheDownload();
    void refusedStartGoesBackToTheOffer();
    void secondClickWhileTheInstallerRuns();

    // Failures
    void failuresDestroyTheWindow_data();
    void failuresDestroyTheWindow();

    // Dragging
    void dragging();

private:
    struct Dialog;
    void serveOffer(const QString &version, const QString &notes, const QString &url, const QByteArray &installer);

    ConfigFolder m_config;
    LoopbackUpdateServer *m_server = nullptr;
};

// The dialog as an owner would have it: shown, with a native window, kept
// nearly transparent until an offer arrives.
struct tst_UpdateW::Dialog
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

void tst_UpdateW::initTestCase()
{
    QVERIFY(m_config.isValid());
}

void tst_UpdateW::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    QVERIFY(m_config.resetInstallerFolder());
    m_server->setHandler([](const HttpRequest &) { return answer("{\"code\":0}"); });
}

void tst_UpdateW::cleanup()
{
    delete m_server;
    m_server = nullptr;
}

void tst_UpdateW::serveOffer(const QString &version, const QString &notes, const QString &url,
                             const QByteArray &installer)
{
    const QByteArray check = UpdateService::checkAnswer(true, url, version, notes);
    m_server->setHandler([check, installer](const HttpRequest &request) {
        return request.method == "POST" ? answer(check) : answer(installer);
    });
}

void tst_UpdateW::formAsShown()
{
    Dialog d;
    QCOMPARE(d.w->size(), QSize(472, 357));
    // The whole rectangle stays visible through the mask.
    QCOMPARE(d.w->mask(), QRegion(0, 0, 472, 357));

    QCOMPARE(d.w->windowTitle(), QString::fromUtf8("OrvalinPDF转换器"));
    QCOMPARE(d.text("titleinfo"), QString::fromUtf8("发现新版本"));
    QCOMPARE(d.text("updateinfo"), QStringLiteral("v2.6.0.0"));
    QCOMPARE(d.text("downloadinfo"), QString::fromUtf8("正在下载，请稍后..."));
    for (const char *name : {"closebt", "install", "laterbt"}) {
        QCOMPARE(d.button(name)->text(), QString());
        QCOMPARE(d.button(name)->cursor().shape(), Qt::PointingHandCursor);
    }
    auto *rate = d.child<QProgressBar>("rate");
    QCOMPARE(rate->text(), QString());
    QCOMPARE(rate->value(), 0);
    QCOMPARE(rate->maximum(), 100);

    // The figure grows to the left, and its widest text reads whole.
    QLabel *rateno = d.child<QLabel>("rateno");
    QCOMPARE(d.text("rateno"), QStringLiteral("100%"));
    QCOMPARE(rateno->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QVERIFY2(rateno->fontMetrics().horizontalAdvance(QStringLiteral("100%")) <= rateno->contentsRect().width(),
             qPrintable(QStringLiteral("\"100%\" needs %1 pixels, the figure has %2")
                                .arg(rateno->fontMetrics().horizontalAdvance(QStringLiteral("100%")))
                                .arg(rateno->contentsRect().width())));
    QVERIFY(!rateno->geometry().intersects(d.child<QWidget>("downloadinfo")->geometry()));

    // The notes take no typing.
    auto *notes = d.child<QPlainTextEdit>("updateversion");
    QCOMPARE(notes->toPlainText(), QString());
    notes->setFocus();
    QTest::keyClicks(notes, "typed");
    QCOMPARE(notes->toPlainText(), QString());
}

void tst_UpdateW::picturesOfTheButtons_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("picture");
    const QPair<const char *, QStringList> buttons[] = {
            {"closebt", {"icon_vip_c.png", "icon_vip_gn_dh_02.png", "icon_vip_gn_dh_03.png"}},
            {"install", {"btn_ljgx_01.png", "btn_ljgx_02.png", "btn_ljgx_03.png"}},
            {"laterbt", {"btn_xczs_01.png", "btn_xczs_02.png", "btn_xczs_03.png"}},
    };
    const char *states[] = {"normal", "hover", "pressed"};
    for (const auto &button : buttons) {
        for (int i = 0; i < 3; ++i)
            QTest::addRow("%s %s", button.first, states[i])
                    << QByteArray(button.first) << QString::fromLatin1(states[i]) << button.second.at(i);
    }
}

void tst_UpdateW::picturesOfTheButtons()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, state);
    QFETCH(QString, picture);
    Dialog d;
    QPushButton *b = d.button(button.constData());
    if (state == QLatin1String("hover")) {
        // The pointer rests on the button.
        b->setAttribute(Qt::WA_UnderMouse);
        QMouseEvent move(QEvent::MouseMove, QPointF(b->rect().center()), b->mapToGlobal(b->rect().center()),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(b, &move);
    }
    if (state == QLatin1String("pressed"))
        b->setDown(true);
    const QString wrong = pictureNotShownBy(b, picture);
    QVERIFY2(wrong.isEmpty(), qPrintable(picture + QStringLiteral(": ") + wrong));
}

void tst_UpdateW::stripCoversTheButtons()
{
    // The head band shows its picture behind the title and the close button.
    Dialog d;
    QWidget *head = d.child<QWidget>("head");
    QWidget *closebt = d.button("closebt");
    closebt->hide();
    d.child<QWidget>("titleinfo")->hide();
    const QString wrong = pictureNotShownBy(head, QStringLiteral("pic_faxxbb_bj.png"));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    closebt->show();

    // The download strip, once shown, takes the clicks meant for the buttons
    // below it, and leaves the notes free.
    QWidget *fupdate = d.child<QWidget>("fupdate");
    QWidget *strip = d.child<QWidget>("updaterate");
    strip->show();
    strip->raise();
    for (const char *name : {"install", "laterbt"}) {
        const QPoint centre = d.button(name)->geometry().center();
        QWidget *hit = fupdate->childAt(centre);
        QVERIFY2(hit == strip || strip->isAncestorOf(hit), name);
    }
    QCOMPARE(fupdate->childAt(d.child<QWidget>("updateversion")->geometry().center())->parentWidget(),
             d.child<QWidget>("updateversion"));
}

void tst_UpdateW::formOnAnotherDialogKeepsItsName()
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("offer"));
    Ui::UpdateW form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("offer"));
    QCOMPARE(dialog.size(), QSize(472, 357));
    QCOMPARE(form.install->parentWidget(), form.fupdate);
}

void tst_UpdateW::metaObject()
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

void tst_UpdateW::buttonsReachTheirSlots()
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
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QVERIFY(!d.button("install")->isEnabled());
    QVERIFY(d.child<QWidget>("updaterate")->isVisible());
}

void tst_UpdateW::checkingThenOffered_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("notes");
    QTest::newRow("version and notes") << "9.1.0.0" << QString::fromUtf8("修复了若干问题。\n提升转换速度。");
    QTest::newRow("empty version") << ""
                                   << "notes";
    // The service's texts are shown as text: an image named in them is
    // neither fetched nor drawn ("<png>" stands for a picture 400 pixels high).
    QTest::newRow("markup in the version") << "<b>9</b><img src=\"<png>\">"
                                           << "<img src=\"<png>\">";
}

void tst_UpdateW::checkingThenOffered()
{
    QFETCH(QString, version);
    QFETCH(QString, notes);
    QTemporaryDir pictures;
    QVERIFY(pictures.isValid());
    const QString png = pictures.filePath(QStringLiteral("tall.png"));
    QImage tall(10, 400, QImage::Format_RGB32);
    tall.fill(Qt::red);
    QVERIFY(tall.save(png));
    version.replace(QLatin1String("<png>"), png);
    notes.replace(QLatin1String("<png>"), png);
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

    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().path, QByteArray("/ver1/checkUpdate"));
    QCOMPARE(d.text("updateinfo"), QStringLiteral("v") + version);
    QVERIFY(d.child<QLabel>("updateinfo")->sizeHint().height() < 100);
    // The notes are added at the cursor, not put in place of what was there.
    QCOMPARE(edit->toPlainText(), QStringLiteral("earlier\n") + notes);
    QVERIFY(d.child<QWidget>("fupdate")->isVisible());
    QCOMPARE(d.w->windowOpacity(), 1.0);
    QVERIFY(hasNativeWindow(d.w));
    QVERIFY(!d.child<QWidget>("updaterate")->isVisible());
    QVERIFY(d.button("install")->isEnabled());
}

void tst_UpdateW::textsHaveTheirGlyphs()
{
    // No text of the offer, the service's notes among them, shows as boxes.
    serveOffer("9.1.0.0", QString::fromUtf8("修复了若干问题。\n提升转换速度。"), kOfferUrl, "installer");
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    const QStringList missing = textsWithoutGlyphs(d.w);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral("; "))));
}

// What a screen reader says for each control, the progress strip's too while
// it is hidden: the picture buttons by their pictures' captions.
void tst_UpdateW::accessibleNames()
{
    Dialog d;
    const QStringList expected{
            "UpdateW: OrvalinPDF转换器", "install: 立即更新", "updateversion: 更新内容", "QScrollBar: 水平滚动条",
            "QScrollBar: 垂直滚动条",    "laterbt: 下次再说", "rate: 更新进度",          "closebt: 关闭"};
    QCOMPARE(accessibleControls(d.w), expected);
}

// Which URLs are downloaded is the session's rule; here what the dialog shows
// when its install click starts nothing.
void tst_UpdateW::offerWithoutInstallerUrl()
{
    serveOffer("9", "notes", QStringLiteral("http://downloads.test/PDFINSTALL.EXE"), "installer");
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QVERIFY(d.button("install")->isEnabled());
    QVERIFY(!d.child<QWidget>("updaterate")->isVisible());
    QTest::qWait(200);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(hasNativeWindow(d.w));
}

void tst_UpdateW::downloadingThenInstalling()
{
    // Without a length the figure counts the dialog's steps: two and a bit.
    const int firstPart = int(2 * UpdateW::kBytesPerStep + UpdateW::kBytesPerStep / 20);
    const QString figure = QStringLiteral("2%");
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = paddedInstaller(elevation, int(3 * UpdateW::kBytesPerStep + 500000));
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);

    StallingProxy stall(installer, firstPart, false);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    // Downloading: the strip covers the buttons; bar and figure agree.
    QVERIFY(!d.button("install")->isEnabled());
    QWidget *strip = d.child<QWidget>("updaterate");
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->parentWidget()->children().last(), strip);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(InstallerLocation::file()).size(), qint64(firstPart), TestWait::kWait);
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), figure, TestWait::kWait);
    QCOMPARE(d.child<QProgressBar>("rate")->value(), figure.chopped(1).toInt());
    QCOMPARE(d.text("downloadinfo"), QString::fromUtf8("正在下载，请稍后..."));
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));

    stall.release();
    // Installing: the completion display, the installer started elevated.
    QTRY_COMPARE_WITH_TIMEOUT(d.text("downloadinfo"), QString::fromUtf8("正在安装，请稍后..."), TestWait::kWait);
    QCOMPARE(d.text("rateno"), QStringLiteral("70%"));
    QCOMPARE(d.child<QProgressBar>("rate")->value(), 70);
    QVERIFY(d.button("install")->isEnabled());
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    // The per-user location ends in the program's name ("tst_updatew" here),
    // of which the last six characters give way to the converter's folder.
    const QString expected = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/tst_u");
    QCOMPARE(run.arguments, QStringList{expected + QStringLiteral("pdfconverter/output/pdfinstall.exe")});
    QCOMPARE(QFileInfo(run.workingDirectory).canonicalFilePath(),
             QFileInfo(InstallerLocation::folder()).canonicalFilePath());
    QVERIFY(hasNativeWindow(d.w));
}

void tst_UpdateW::closedWindowStillInstalls()
{
    FakeElevation elevation;
    const QByteArray installer = paddedInstaller(elevation, 2500000);
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    StallingProxy stall(installer, 1200000);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), QStringLiteral("48%"), TestWait::kWait);

    QTest::mouseClick(d.button("closebt"), Qt::LeftButton);
    QVERIFY(!hasNativeWindow(d.w));
    stall.release();
    QTRY_COMPARE_WITH_TIMEOUT(d.text("rateno"), QStringLiteral("70%"), TestWait::kWait);
    QVERIFY(d.button("install")->isEnabled());
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(QFileInfo(InstallerLocation::file()).size(), qint64(installer.size()));
    QVERIFY(!hasNativeWindow(d.w));
}

void tst_UpdateW::closedDuringCheckStillReacts()
{
    serveOffer("9.2", "notes", kOfferUrl, "installer");
    Dialog d;
    QTest::mouseClick(d.button("laterbt"), Qt::LeftButton);
    QVERIFY(!hasNativeWindow(d.w));
    QTRY_COMPARE_WITH_TIMEOUT(d.text("updateinfo"), QStringLiteral("v9.2"), TestWait::kWait);
    QCOMPARE(d.w->windowOpacity(), 1.0);
}

void tst_UpdateW::deletingTheDialogEndsTheDownload()
{
    FakeElevation elevation;
    serveOffer("9", "notes", kOfferUrl, QByteArray());
    auto d = std::make_unique<Dialog>();
    QTRY_VERIFY_WITH_TIMEOUT(d->offered(), TestWait::kWait);
    StallingProxy stall(paddedInstaller(elevation, 2500000), 1200000);
    QTest::mouseClick(d->button("install"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(stall.requested(), TestWait::kWait);
    d.reset();
    QTRY_VERIFY_WITH_TIMEOUT(stall.clientGone(), TestWait::kWait);
}

void tst_UpdateW::refusedStartGoesBackToTheOffer()
{
    // pkexec refuses without running anything; as root, where the installer
    // is started directly, the installer's own status says the same.
    FakeElevation elevation;
    elevation.refuse();
    serveOffer("9", "notes", kOfferUrl, "#!/bin/sh\nexit 126\n");
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.child<QWidget>("updaterate")->isVisible(), TestWait::kWait);
    QVERIFY(d.button("install")->isEnabled());
    QVERIFY(d.text("downloadinfo") != QString::fromUtf8("正在安装，请稍后..."));
    QVERIFY(hasNativeWindow(d.w));
    // The user may try again.
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 3, TestWait::kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!d.child<QWidget>("updaterate")->isVisible(), TestWait::kWait);
}

// That the click downloads nothing is the session's rule; the dialog keeps
// showing the installation.
void tst_UpdateW::secondClickWhileTheInstallerRuns()
{
    FakeElevation elevation;
    serveOffer("9", "notes", kOfferUrl, elevation.waitingInstallerScript());
    Dialog d;
    QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), TestWait::kWait);
    QVERIFY(d.button("install")->isEnabled());

    QTest::mouseClick(d.button("install"), Qt::LeftButton);
    QTest::qWait(300);
    QVERIFY(hasNativeWindow(d.w));
    QCOMPARE(d.text("downloadinfo"), QString::fromUtf8("正在安装，请稍后..."));
    QVERIFY(d.button("install")->isEnabled());
    elevation.releaseInstaller();
}

void tst_UpdateW::failuresDestroyTheWindow_data()
{
    QTest::addColumn<bool>("duringDownload");
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("removeFolder");

    // Which answers fail or offer nothing is the session's rule; the dialog
    // reacts to each kind of outcome in one way.
    QTest::newRow("check failed") << false << HttpResponse{200, {}, {}, -1, -1, true} << false;
    QTest::newRow("no offer") << false << answer("{\"code\":0,\"responseData\":{}}") << false;
    // The download rows serve the recording installer, so a start would show.
    QTest::newRow("download failed") << true << HttpResponse{200, {}, {}, -1, 1000000, false} << false;
    // Fails within the click, before anything is requested.
    QTest::newRow("download: folder missing") << true << answer({}) << true;
}

void tst_UpdateW::failuresDestroyTheWindow()
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
        QTRY_VERIFY_WITH_TIMEOUT(d.offered(), TestWait::kWait);
        if (removeFolder)
            QVERIFY(QDir(InstallerLocation::folder()).removeRecursively());
        QTest::mouseClick(d.button("install"), Qt::LeftButton);
        // Without its folder the installer file cannot be created: the
        // download fails before it is requested.
        QVERIFY(d.button("install")->isEnabled() == removeFolder);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(d.w), TestWait::kWait);
    QVERIFY(d.button("install")->isEnabled());
    if (!duringDownload)
        QVERIFY(!d.offered());
    QTest::qWait(300);
    QVERIFY(!QFile::exists(elevation.installerRecordFile()));
    QVERIFY(elevation.pkexecCalls().isEmpty());
}

// How a drag follows the mouse is DialogDrag's; here that the dialog passes
// its mouse on, and that a child taking the mouse keeps it.
void tst_UpdateW::dragging()
{
    Dialog d;
    d.w->move(0, 0);
    auto send = [&d](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(global - d.w->pos()), QPointF(global), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(d.w, &event);
    };
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    send(QEvent::MouseMove, {150, 130}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));
    send(QEvent::MouseButtonRelease, {150, 130}, Qt::NoButton);
    send(QEvent::MouseMove, {250, 250}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));

    QTest::mousePress(d.child<QWidget>("updateversion")->findChild<QWidget *>(QStringLiteral("qt_scrollarea_viewport")),
                      Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    send(QEvent::MouseMove, {400, 400}, Qt::LeftButton);
    QCOMPARE(d.w->pos(), QPoint(50, 30));
}

QTEST_MAIN(tst_UpdateW)
#include "tst_updatew.moc"
