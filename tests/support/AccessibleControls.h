#pragma once

#include <QStringList>

class QWidget;

// The window as a screen reader meets it: its accessibility tree walked
// through QAccessible from the window down, child by child, shown or hidden.
// One line for the window and one for every element a user can operate or
// reach with the keyboard (buttons, progress bars, text boxes, scroll
// bars...): "object name: accessible name", the class name standing in for a
// missing object name. A nameless element reads "closebt: ".
QStringList accessibleControls(QWidget *window);
