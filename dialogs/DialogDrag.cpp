#include "DialogDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace DialogDrag {

void press(QWidget *dialog, bool &pressed, QPoint &dragoffset, const QMouseEvent *event)
{
    pressed = true;
    dragoffset = event->globalPos() - dialog->pos();
}

void move(QWidget *dialog, bool pressed, QPoint &dragoffset, const QMouseEvent *event)
{
    if (!pressed || event->buttons() == Qt::NoButton)
        return;
    const QPoint target = event->globalPos() - dragoffset;
    if (target.manhattanLength() > QApplication::startDragDistance()) {
        dialog->move(target);
        dragoffset = event->globalPos() - dialog->pos();
    }
}

void release(bool &pressed)
{
    pressed = false;
}

} // namespace DialogDrag
