#pragma once

#include <QStringList>

class QWidget;

// The texts of a window that would be drawn as empty boxes: every label and
// text box in it (shown now or only later) whose text holds a character that
// the font it is really drawn with lacks, after its style sheet and with
// Qt's font fallbacks. One line per such text: object name, text, family.
QStringList textsWithoutGlyphs(QWidget *window);
