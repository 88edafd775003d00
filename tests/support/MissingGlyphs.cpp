#include "MissingGlyphs.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

bool drawable(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    const QVector<uint> characters = text.toUcs4();
    for (const uint c : characters) {
        if (!QChar::isSpace(c) && !metrics.inFontUcs4(c))
            return false;
    }
    return true;
}

} // namespace

QStringList textsWithoutGlyphs(QWidget *window)
{
    QStringList missing;
    const auto check = [&missing](QWidget *widget, const QString &text) {
        // The style sheet's font reaches the widget when it is polished.
        widget->ensurePolished();
        if (!drawable(widget->font(), text))
            missing << QStringLiteral("%1: \"%2\" in %3")
                               .arg(widget->objectName(), text, QFontInfo(widget->font()).family());
    };
    for (QLabel *label : window->findChildren<QLabel *>())
        check(label, label->text());
    for (QPlainTextEdit *box : window->findChildren<QPlainTextEdit *>())
        check(box, box->toPlainText());
    return missing;
}
