#include "AccessibleControls.h"
#include "AutoUpdateW.h"
#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "LoopbackUpdateServer.h"
#include "MissingGlyphs.h"
#include "NativeWindow.h"
#include "StallingProxy.h"
#include "TestFiles.h"
#include "TestWait.h"
#include "UpdateService.h"
#include "UpdateTestSupport.h"
#include "ui_AutoUpdateW.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestFiles;
using namespace UpdateTest;

namespace {

const QString kDownloadUrl = QStringLiteral("http://downloads.test/download/pdfinstall.exe");

} // namespace

Q_DECLARE_METATYPE(HttpResponse)

class tst_AutoUpdateW : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void formOnAnotherDialogKeepsItsName();
    void textsHaveTheirGlyphs();
    void accessibleNames();
    void slotsAndClosing();
    void dragging();
    void installerFile_data();
    void installerFile();
    void foldersOthersCanChange_data();
    void foldersOthersCanChange();
    void progress();
    void checkWithoutOffer_data();
    void checkWithoutOffer();
    void offerStartsTheDownloadAtOnce();
    void offerNotDownloaded();
    void downloadFailsHalfway();
    void refusedStartFails();
    void closeDuringDownload();

private:
    // Offers kDownloadUrl and serves `installer` for it.
    void offer(const HttpResponse &installer);
    static QByteArray checkAnswer() { return offerAnswer(kDownloadUrl).body; }
    void createDialog(double opacity = 0.5);
    template<typename T>
    T *widget(const char *name) const
    {
        return m_dialog->findChild<T *>(QLatin1String(name));
    }

    ConfigFolder m_config;
    QString m_convertIni;
    LoopbackUpdateServer *m_server = nullptr;
    QWidget *m_parent = nullptr;
    AutoUpdateW *m_dialog = nullptr;
};

void tst_AutoUpdateW::initTestCase()
{
    QVERIFY(m_config.isValid());
    m_convertIni = QCoreApplication::applicationDirPath() + QStringLiteral("/convert.ini");
}

void tst_AutoUpdateW::init()
{
    m_server = new LoopbackUpdateServer;
    QVERIFY(m_server->isListening());
    m_server->setHandler([](const HttpRequest &) { return answer("{\"code\":0}"); });
    QVERIFY(m_config.resetInstallerFolder());
    QFile::remove(m_convertIni);
    m_parent = new QWidget;
}

void tst_AutoUpdateW::cleanup()
{
    delete m_parent; // and with it the dialog, its manager and any transfer
    m_parent = nullptr;
    m_dialog = nullptr;
    delete m_server;
    m_server = nullptr;
    QFile::remove(m_convertIni);
}

void tst_AutoUpdateW::offer(const HttpResponse &installer)
{
    const HttpResponse check = offerAnswer(kDownloadUrl, QStringLiteral("9.0"), QStringLiteral("notes"));
    m_server->setHandler(
            [check, installer](const HttpRequest &request) { return request.method == "POST" ? check : installer; });
}

void tst_AutoUpdateW::createDialog(double opacity)
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
    QVERIFY(hasNativeWindow(m_dialog));
}

void tst_AutoUpdateW::form()
{
    createDialog();
    AutoUpdateW &d = *m_dialog;
    QCOMPARE(d.parentWidget(), m_parent);
    QCOMPARE(d.size(), QSize(479, 209));
    QCOMPARE(d.mask(), QRegion(0, 0, 479, 209));
    QCOMPARE(d.windowTitle(), QString::fromUtf8("OrvalinPDF转换器"));
    QCOMPARE(widget<QLabel>("label")->text(), QString::fromUtf8("发现新版本"));
    QCOMPARE(widget<QLabel>("downloadinfo")->text(), QString::fromUtf8("正在安装PDF转换器新版本，稍等片刻即可...."));
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("0"));
    QCOMPARE(widget<QLabel>("label_2")->text(), QString::fromUtf8("%已完成"));
    auto *rate = widget<QProgressBar>("rate");
    QCOMPARE(rate->value(), 0);
    QCOMPARE(rate->maximum(), 100);
    QCOMPARE(rate->text(), QString());

    // The one button: the close cross, which shows its picture.
    QCOMPARE(d.findChildren<QPushButton *>().size(), 1);
    auto *closebt = widget<QPushButton>("closebt");
    QCOMPARE(closebt->text(), QString());
    QCOMPARE(closebt->cursor().shape(), Qt::PointingHandCursor);
    const QImage cross = QImage(QStringLiteral(":/images/icon_vip_c.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = closebt->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown.size(), cross.size());
    int opaque = 0;
    for (int y = 0; y < cross.height(); ++y) {
        for (int x = 0; x < cross.width(); ++x) {
            if (qAlpha(cross.pixel(x, y)) == 255) {
                ++opaque;
                QCOMPARE(shown.pixel(x, y), cross.pixel(x, y));
            }
        }
    }
    QVERIFY(opaque > 0);

    // The figure grows to the left and ends where the words after it begin;
    // "100" reads whole, and no widget covers another.
    auto *rateno = widget<QLabel>("rateno");
    auto *label2 = widget<QLabel>("label_2");
    QCOMPARE(rateno->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QVERIFY(rateno->geometry().right() < label2->x());
    QVERIFY(rateno->fontMetrics().horizontalAdvance(QStringLiteral("100")) <= rateno->contentsRect().width());
    auto *body = widget<QFrame>("body");
    const QList<QWidget *> widgets = body->findChildren<QWidget *>();
    for (int i = 0; i < widgets.size(); ++i) {
        QVERIFY(body->rect().contains(widgets[i]->geometry()));
        for (int j = i + 1; j < widgets.size(); ++j)
            QVERIFY2(!widgets[i]->geometry().intersects(widgets[j]->geometry()),
                     qPrintable(widgets[i]->objectName() + " / " + widgets[j]->objectName()));
    }
}

void tst_AutoUpdateW::formOnAnotherDialogKeepsItsName()
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("automatic"));
    Ui::AutoUpdateW form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("automatic"));
    QCOMPARE(form.closebt->window(), &dialog);

    QDialog unnamed;
    Ui::AutoUpdateW().setupUi(&unnamed);
    QCOMPARE(unnamed.objectName(), QStringLiteral("AutoUpdateW"));
}

void tst_AutoUpdateW::textsHaveTheirGlyphs()
{
    createDialog();
    const QStringList missing = textsWithoutGlyphs(m_dialog);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral("; "))));
}

// What a screen reader says for each control.
void tst_AutoUpdateW::accessibleNames()
{
    createDialog();
    QCOMPARE(accessibleControls(m_dialog),
             (QStringList{"AutoUpdateW: OrvalinPDF转换器", "closebt: 关闭", "rate: 更新进度"}));
}

void tst_AutoUpdateW::slotsAndClosing()
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
    QVERIFY(!hasNativeWindow(m_dialog));
    QCOMPARE(m_dialog->parentWidget(), m_parent);

    // The other closing slots, reached by name only.
    for (const char *slot : {"on_ok_clicked", "on_laterbt_clicked"}) {
        delete m_dialog;
        createDialog();
        QVERIFY(QMetaObject::invokeMethod(m_dialog, slot));
        QVERIFY2(!hasNativeWindow(m_dialog), slot);
    }
}

// How a drag follows the mouse is DialogDrag's; here that the dialog passes
// press, move and release on to it.
void tst_AutoUpdateW::dragging()
{
    createDialog();
    m_dialog->move(50, 50);
    auto send = [this](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(m_dialog->mapFromGlobal(global)), QPointF(global), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(m_dialog, &event);
    };
    send(QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(160, 140), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), QPoint(150, 130));
    send(QEvent::MouseButtonRelease, QPoint(160, 140), Qt::NoButton);
    send(QEvent::MouseMove, QPoint(300, 300), Qt::LeftButton);
    QCOMPARE(m_dialog->pos(), QPoint(150, 130));
}

void tst_AutoUpdateW::installerFile_data()
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

void tst_AutoUpdateW::installerFile()
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
    QVERIFY(writeFile(expected, QByteArray(3000000, 's')));

    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray installer = paddedInstaller(elevation, 200000);
    offer(answer(installer));
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), TestWait::kWait);

    QCOMPARE(readFile(expected), installer);
    // Started as the installer file, with no working directory of its own.
    const FakeElevation::Record run = elevation.waitForInstallerRun();
    QCOMPARE(run.arguments, QStringList{expected});
    QCOMPARE(QFileInfo(run.workingDirectory).canonicalFilePath(), QDir::current().canonicalPath());
    if (!elevation.pkexecCalls().isEmpty())
        QCOMPARE(elevation.pkexecCalls().first().arguments, QStringList{QFileInfo(expected).absoluteFilePath()});

    // The end changes nothing on screen: the last chunk's figure stays, and
    // so does the window.
    QVERIFY(hasNativeWindow(m_dialog));
    QCOMPARE(m_dialog->windowOpacity(), 1.0);
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("100"));
    QCOMPARE(widget<QProgressBar>("rate")->value(), 100);
    QCOMPARE(widget<QLabel>("downloadinfo")->text(), QString::fromUtf8("正在安装PDF转换器新版本，稍等片刻即可...."));
    QCOMPARE(widget<QLabel>("label_2")->text(), QString::fromUtf8("%已完成"));
    if (expected != InstallerLocation::file())
        QVERIFY(!QFile::exists(InstallerLocation::file()));
}

void tst_AutoUpdateW::foldersOthersCanChange_data()
{
    QTest::addColumn<QString>("updatedir"); // inside a folder every user can reach
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("used"); // else the per-user installer folder is

    QTest::newRow("open to all (0777)") << "shared" << 0777 << false;
    QTest::newRow("open to all, sticky, the user's (1777)") << "sticky" << 01777 << true;
    QTest::newRow("another user's") << "theirs" << 0755 << false;
    QTest::newRow("the user's, inside one open to all") << "open/mine" << 0700 << false;
    QTest::newRow("relative") << "relative" << 0700 << false;
}

// The installer is started as administrator: a folder from convert.ini where
// another user (uid 65534) could swap it is not used. That user plants a link
// to a file of ours when the download is requested, and puts a program of
// their own in the installer's place (or the folder's) between the checks
// and the start; neither the linked file nor their program is touched or run.
void tst_AutoUpdateW::foldersOthersCanChange()
{
    QFETCH(QString, updatedir);
    QFETCH(int, mode);
    QFETCH(bool, used);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to act as another user");

    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(QFile::setPermissions(base.path(), QFileDevice::Permissions(0x7755)));
    const QString folder = base.filePath(updatedir);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(mode)) == 0);
    if (updatedir.startsWith(QLatin1String("open/")))
        QVERIFY(::chmod(QFile::encodeName(base.filePath("open")).constData(), 0777) == 0);
    if (updatedir == QLatin1String("theirs"))
        QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
    const QString victim = base.filePath("victim");
    QVERIFY(writeFile(victim, "victim"));
    const QString intruder = base.filePath("intruder");
    QVERIFY(writeFile(intruder, "#!/bin/sh\necho ran > '" + QFile::encodeName(base.filePath("intruder-ran")) + "'\n"));
    QVERIFY(::chmod(QFile::encodeName(intruder).constData(), 0755) == 0);
    const auto asOtherUser = [&](const QString &script) {
        QProcess::execute(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c", script});
    };
    const QString file = folder + QStringLiteral("/pdfinstall.exe");
    const QString plantLink = QStringLiteral("rm -f '%1'; ln -s '%2' '%1'").arg(file, victim);
    const QString swap = QStringLiteral("mv '%1' '%1.gone'; mkdir -p '%1'; rm -f '%2'; cp '%3' '%2'; chmod 755 '%2'")
                                 .arg(folder, file, intruder);

    QSettings(m_convertIni, QSettings::IniFormat)
            .setValue(QStringLiteral("Setting/updatedir"),
                      updatedir == QLatin1String("relative") ? QDir::current().relativeFilePath(folder) : folder);
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const HttpResponse check = offerAnswer(kDownloadUrl);
    const HttpResponse installer = answer(paddedInstaller(elevation, 200000));
    m_server->setHandler([&](const HttpRequest &request) {
        if (request.method == "POST")
            return check;
        asOtherUser(plantLink);
        return installer;
    });
    createDialog();
    auto *session = m_dialog->findChild<UpdateSession *>();
    QVERIFY(session);
    connect(
            session, &UpdateSession::downloadFinished, this, [&] { asOtherUser(swap); }, Qt::DirectConnection);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), TestWait::kWait);
    QCOMPARE(elevation.waitForInstallerRun().arguments, QStringList{used ? file : InstallerLocation::file()});
    QTest::qWait(300);
    QVERIFY(!QFile::exists(base.filePath("intruder-ran")));
    QCOMPARE(readFile(victim), QByteArray("victim"));
}

void tst_AutoUpdateW::progress()
{
    // How the figure follows the download is the session's rule; here that
    // the dialog counts its own steps without a length, and shows the figure
    // on the bar and beside the percent sign.
    const int step = int(AutoUpdateW::kBytesPerStep);
    StallingProxy stall(QByteArray(2 * step, 'i'), step, false, checkAnswer());
    createDialog();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(InstallerLocation::file()).size(), qint64(step), TestWait::kWait);
    QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("rateno")->text(), QStringLiteral("1"), TestWait::kWait);
    QCOMPARE(widget<QProgressBar>("rate")->value(), 1);
    QCOMPARE(widget<QLabel>("label_2")->text(), QString::fromUtf8("%已完成"));
    QVERIFY(hasNativeWindow(m_dialog));
}

void tst_AutoUpdateW::checkWithoutOffer_data()
{
    QTest::addColumn<HttpResponse>("answer");
    // Which answers fail or offer nothing is the session's rule; the dialog
    // reacts to each kind of outcome in one way.
    QTest::newRow("check failed") << HttpResponse{200, {}, {}, -1, -1, true};
    QTest::newRow("no offer") << HttpResponse{200, {}, UpdateService::checkAnswer(false, {}, {}, {}), -1, -1, false};
}

void tst_AutoUpdateW::checkWithoutOffer()
{
    QFETCH(HttpResponse, answer);
    m_server->setHandler([answer](const HttpRequest &request) {
        return request.method == "POST" ? answer : HttpResponse{200, {}, "installer", -1, -1, false};
    });
    QVERIFY(writeFile(InstallerLocation::file(), "old"));
    createDialog(0.5);
    const double opacity = m_dialog->windowOpacity();
    QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(m_dialog), TestWait::kWait);
    QTest::qWait(200);
    // (The network layer itself retries a dropped connection.)
    for (const HttpRequest &request : m_server->requests())
        QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(m_dialog->windowOpacity(), opacity);
    QVERIFY(opacity < 1.0);
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("old"));
}

// Which URLs are downloaded is the session's rule; here what the dialog shows
// when the offer starts nothing.
void tst_AutoUpdateW::offerNotDownloaded()
{
    const QString url = QStringLiteral("http://downloads.test/download/PDFINSTALL.EXE");
    m_server->setHandler([url](const HttpRequest &) {
        return HttpResponse{200, {}, UpdateService::checkAnswer(true, url, QStringLiteral("9"), QString()),
                            -1,  -1, false};
    });
    QVERIFY(writeFile(InstallerLocation::file(), "old"));
    createDialog(0.5);
    QTRY_COMPARE_WITH_TIMEOUT(m_dialog->windowOpacity(), 1.0, TestWait::kWait);
    QTest::qWait(300);
    QVERIFY(hasNativeWindow(m_dialog));
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("0"));
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray("old"));
}

// The download breaks off: the window closes. What stays on disk and that
// nothing starts is the session's.
void tst_AutoUpdateW::downloadFailsHalfway()
{
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    HttpResponse installer = answer(paddedInstaller(elevation, 4000000));
    installer.cutAfter = 2000000;
    offer(installer);
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(m_dialog), TestWait::kWait);
}

void tst_AutoUpdateW::refusedStartFails()
{
    // pkexec refuses without running anything (as root, the installer's own
    // status says the same).
    FakeElevation elevation;
    elevation.refuse();
    offer(answer("#!/bin/sh\nexit 126\n"));
    createDialog();
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests().size() == 2, TestWait::kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!hasNativeWindow(m_dialog), TestWait::kWait);
}

void tst_AutoUpdateW::closeDuringDownload()
{
    FakeElevation elevation;
    QVERIFY(elevation.isValid());
    const QByteArray bytes = paddedInstaller(elevation, 20000000);
    StallingProxy stall(bytes, 5000000, true, checkAnswer());
    createDialog();
    QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("rateno")->text(), QStringLiteral("25"), TestWait::kWait);

    QTest::mouseClick(widget<QPushButton>("closebt"), Qt::LeftButton);
    QVERIFY(!hasNativeWindow(m_dialog));
    stall.release();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elevation.installerRecordFile()), TestWait::kWait);
    QCOMPARE(readFile(InstallerLocation::file()), bytes);
    QCOMPARE(elevation.waitForInstallerRun().arguments, QStringList{InstallerLocation::file()});
    QCOMPARE(widget<QLabel>("rateno")->text(), QStringLiteral("100"));
}

void tst_AutoUpdateW::offerStartsTheDownloadAtOnce()
{
    // The download starts in the same call that takes the offer: the stale
    // installer is gone by the time the window turns opaque.
    QVERIFY(writeFile(InstallerLocation::file(), "stale"));
    StallingProxy stall("new", 0, true, checkAnswer());
    createDialog(0.5);
    QTRY_COMPARE_WITH_TIMEOUT(m_dialog->windowOpacity(), 1.0, TestWait::kWait);
    QVERIFY(QFileInfo::exists(InstallerLocation::file()));
    QCOMPARE(readFile(InstallerLocation::file()), QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(stall.requested(), TestWait::kWait);
}

QTEST_MAIN(tst_AutoUpdateW)
#include "tst_autoupdatew.moc"
