#include "DialogDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace {

// A frameless window that hands its mouse to DialogDrag, as the update
// dialogs do.
class DragWindow : public QWidget
{
public:
    DragWindow()
    {
        setWindowFlags(Qt::FramelessWindowHint);
        resize(400, 300);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { DialogDrag::press(this, m_pressed, m_offset, event); }
    void mouseMoveEvent(QMouseEvent *event) override { DialogDrag::move(this, m_pressed, m_offset, event); }
    void mouseReleaseEvent(QMouseEvent *) override { DialogDrag::release(m_pressed); }

private:
    bool m_pressed = false;
    QPoint m_offset;
};

} // namespace

class tst_DialogDrag : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void followsTheMouseByItsTravel();
    void noDragWithoutPressAndButton();
    void keepsOffTheScreenOrigin();

private:
    // The mouse, through the window system, at `global` on the screen.
    void press(QPoint global, Qt::MouseButton button = Qt::LeftButton);
    void moveTo(QPoint global);
    void release(QPoint global, Qt::MouseButton button = Qt::LeftButton);
    QPoint local(QPoint global) const { return m_window->windowHandle()->mapFromGlobal(global); }

    DragWindow *m_window = nullptr;
};

void tst_DialogDrag::init()
{
    QApplication::setStartDragDistance(10);
    m_window = new DragWindow;
    m_window->move(100, 100);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_window->pos(), QPoint(100, 100));
}

void tst_DialogDrag::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_DialogDrag::press(QPoint global, Qt::MouseButton button)
{
    QTest::mousePress(m_window->windowHandle(), button, Qt::NoModifier, local(global));
}

void tst_DialogDrag::moveTo(QPoint global)
{
    QTest::mouseMove(m_window->windowHandle(), local(global));
}

void tst_DialogDrag::release(QPoint global, Qt::MouseButton button)
{
    QTest::mouseRelease(m_window->windowHandle(), button, Qt::NoModifier, local(global));
}

void tst_DialogDrag::followsTheMouseByItsTravel()
{
    // Grabbed anywhere, by any button, the window keeps its place under the
    // cursor step after step.
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        const QPoint start = m_window->pos();
        press(start + QPoint(30, 20), button);
        moveTo(start + QPoint(90, 60));
        QCOMPARE(m_window->pos(), start + QPoint(60, 40));
        moveTo(start + QPoint(85, 61));
        QCOMPARE(m_window->pos(), start + QPoint(55, 41));
        release(start + QPoint(85, 61), button);
    }
    QCOMPARE(m_window->pos(), QPoint(210, 182));
}

void tst_DialogDrag::noDragWithoutPressAndButton()
{
    // After the release the mouse moves on alone.
    press(QPoint(150, 150));
    release(QPoint(150, 150));
    moveTo(QPoint(200, 190));
    QCOMPARE(m_window->pos(), QPoint(100, 100));

    // A button held that was pressed elsewhere: the window saw no press.
    QMouseEvent held(QEvent::MouseMove, QPointF(60, 60), QPointF(160, 160), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(m_window, &held);
    QCOMPARE(m_window->pos(), QPoint(100, 100));

    // Pressed, but the move reports no button (it was let go outside); only
    // a window that tracks the mouse gets such a move.
    m_window->setMouseTracking(true);
    press(QPoint(150, 150));
    QMouseEvent loose(QEvent::MouseMove, QPointF(90, 90), QPointF(190, 190), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(m_window, &loose);
    QCOMPARE(m_window->pos(), QPoint(100, 100));
    release(QPoint(150, 150));
}

void tst_DialogDrag::keepsOffTheScreenOrigin()
{
    // A top-left corner within the start-drag distance (10) of the origin is
    // not taken: the window waits where it is, then jumps past it.
    m_window->move(30, 30);
    press(QPoint(80, 80));
    moveTo(QPoint(53, 54)); // corner (3, 4)
    QCOMPARE(m_window->pos(), QPoint(30, 30));
    moveTo(QPoint(54, 56)); // (4, 6): at the distance
    QCOMPARE(m_window->pos(), QPoint(30, 30));
    moveTo(QPoint(56, 55)); // (6, 5): past it
    QCOMPARE(m_window->pos(), QPoint(6, 5));
    release(QPoint(56, 55));
}

QTEST_MAIN(tst_DialogDrag)
#include "tst_dialogdrag.moc"
