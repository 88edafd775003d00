#include "AccessibleControls.h"

#include <QAccessible>
#include <QWidget>

namespace {

bool operable(QAccessibleInterface *element)
{
    switch (element->role()) {
    case QAccessible::Button:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::Dial:
    case QAccessible::ScrollBar:
    case QAccessible::ProgressBar:
    case QAccessible::EditableText:
    case QAccessible::Link:
    case QAccessible::PageTab:
    case QAccessible::MenuItem: return true;
    default: return element->state().focusable;
    }
}

QString line(QAccessibleInterface *element)
{
    const QObject *object = element->object();
    QString name = object ? object->objectName() : QString();
    if (name.isEmpty() && object)
        name = QString::fromLatin1(object->metaObject()->className());
    return name + QStringLiteral(": ") + element->text(QAccessible::Name);
}

void walk(QAccessibleInterface *element, QStringList &lines)
{
    for (int i = 0; i < element->childCount(); ++i) {
        QAccessibleInterface *child = element->child(i);
        if (!child)
            continue;
        if (operable(child))
            lines << line(child);
        walk(child, lines);
    }
}

} // namespace

QStringList accessibleControls(QWidget *window)
{
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(window);
    if (!root)
        return {};
    QStringList lines{line(root)};
    walk(root, lines);
    return lines;
}
