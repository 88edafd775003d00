#include "DialogMask.h"

#include <QBitmap>
#include <QPainter>
#include <QWidget>

namespace DialogMask {

void applySquare(QWidget *dialog)
{
    QBitmap bitmap(dialog->size());
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
        painter.drawRoundedRect(QRectF(bitmap.rect()), 0.0, 0.0, Qt::AbsoluteSize);
    }
    dialog->setMask(bitmap);
}

} // namespace DialogMask
