#include "NativeWindow.h"

#include <QWidget>
#include <QWindow>

bool hasNativeWindow(const QWidget *widget)
{
    return widget->testAttribute(Qt::WA_WState_Created) && widget->windowHandle() && widget->internalWinId() != 0;
}
