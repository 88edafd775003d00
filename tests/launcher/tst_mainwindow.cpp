#include "AccessibleControls.h"
#include "MainWindow.h"
#include "ShownPicture.h"
#include "TestWait.h"
#include "Wine.h"

#include <QImage>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void form();
    void accessibleName();
    void sizeAndFramesFollowLocale_data();
    void sizeAndFramesFollowLocale();
    void framesLoopAndFollowLocaleChange();
    void timerAnimatesWithoutClosing();

private:
    static QWidget *body(MainWindow &window) { return window.findChild<QWidget *>("body"); }
    static void tick(MainWindow &window) { QVERIFY(QMetaObject::invokeMethod(&window, "lunach")); }
};

void tst_MainWindow::form()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("MainWindow"));
    QCOMPARE(window.styleSheet(), QString("/*background-image: url(:/images/1.png);*/"));
    QWidget *central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QString("body"));
    QCOMPARE(central->metaObject(), &QWidget::staticMetaObject);
    QVERIFY(!window.isVisible());
}

// A screen reader names the splash by what its pictures say, not by the
// window's code name; nothing in it takes input.
void tst_MainWindow::accessibleName()
{
    MainWindow window;
    QCOMPARE(accessibleControls(&window), QStringList{"MainWindow: OrvalinPDF转换器正在启动"});
}

void tst_MainWindow::sizeAndFramesFollowLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("mainland China") << "zh_CN" << QSize(200, 250) << "";
    QTest::newRow("Taiwan") << "zh_TW" << QSize(200, 250) << "";
    QTest::newRow("United States") << "en_US" << QSize(280, 250) << "overseas";
    QTest::newRow("Germany") << "de_DE" << QSize(280, 250) << "overseas";
}

void tst_MainWindow::sizeAndFramesFollowLocale()
{
    QFETCH(QString, locale);
    QFETCH(QSize, size);
    QFETCH(QString, prefix);
    QLocale::setDefault(QLocale(locale));

    MainWindow window;
    QCOMPARE(window.size(), size);
    tick(window);
    QCOMPARE(body(window)->styleSheet(), "#body{border-image: url(:/images/" + prefix + "1.png);}");

    // The frame is drawn over the whole window, unscaled: every opaque pixel
    // of the image is on screen as it is in the file. The animation may have
    // moved on while the window came up: the frame compared is the one the
    // window shows when it is grabbed.
    if (runsUnderWine())
        QSKIP("the frame grabbed under Wine differs from the image in some pixels (open question)");
    window.setAttribute(Qt::WA_TranslucentBackground, true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString shownFrame = QRegularExpression("url\\((:/images/" + prefix + "\\d+\\.png)\\)")
                                       .match(body(window)->styleSheet())
                                       .captured(1);
    const QImage frame(shownFrame);
    QVERIFY2(!frame.isNull(), qPrintable("splash frame missing from the resources: " + shownFrame));
    QCOMPARE(frame.size(), size);
    const QString notShown = pictureNotShown(window.grab().toImage(), frame);
    QVERIFY2(notShown.isEmpty(), qPrintable(notShown));
}

void tst_MainWindow::framesLoopAndFollowLocaleChange()
{
    QLocale::setDefault(QLocale("zh_CN"));
    MainWindow window;
    for (int i = 1; i <= 16; ++i)
        tick(window);
    QCOMPARE(body(window)->styleSheet(), QString("#body{border-image: url(:/images/16.png);}"));
    tick(window);
    QCOMPARE(body(window)->styleSheet(), QString("#body{border-image: url(:/images/1.png);}"));

    QLocale::setDefault(QLocale("en_GB"));
    tick(window);
    QCOMPARE(body(window)->styleSheet(), QString("#body{border-image: url(:/images/overseas2.png);}"));
}

void tst_MainWindow::timerAnimatesWithoutClosing()
{
    MainWindow window;
    // A frame every 100 ms: one loop of the 16 frames takes 1.6 s.
    const QList<QTimer *> timers = window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first()->interval(), 100);
    QVERIFY(timers.first()->isActive());
    QVERIFY(!timers.first()->isSingleShot());
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(body(window)->styleSheet().contains("2.png"), TestWait::kWait);
    QTRY_VERIFY_WITH_TIMEOUT(body(window)->styleSheet().contains("16.png"), TestWait::kWait);
    QTRY_VERIFY_WITH_TIMEOUT(body(window)->styleSheet().contains("/1.png")
                                     || body(window)->styleSheet().contains("overseas1.png"),
                             TestWait::kWait);
    QVERIFY(window.isVisible());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
