#pragma once

class QMouseEvent;
class QPoint;
class QWidget;

// Moving a frameless update dialog with the mouse. The dialog keeps the drag
// state (`pressed`, `dragoffset`) as its own members; its mouse event
// overrides call these and then, where the dialog passes the event on, the
// QWidget handler.
namespace DialogDrag {

// A press of any button starts tracking: the cursor's offset from the
// dialog's top-left corner is kept so the dialog follows without jumping.
void press(QWidget *dialog, bool &pressed, QPoint &dragoffset, const QMouseEvent *event);

// While tracking with a button held, moves the dialog under the cursor unless
// its new top-left corner would lie within the start-drag distance (Manhattan
// length) of the screen origin.
void move(QWidget *dialog, bool pressed, QPoint &dragoffset, const QMouseEvent *event);

// Ends tracking.
void release(bool &pressed);

} // namespace DialogDrag
