#pragma once

class QWidget;

// Whether the widget still has its window in the window system: false once
// it was never shown, or its window was destroyed (as a dialog does when it
// gives up), even if the QWidget object itself lives on.
bool hasNativeWindow(const QWidget *widget);
