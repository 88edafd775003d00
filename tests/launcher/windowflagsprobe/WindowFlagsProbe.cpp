// A style plugin that a launcher under test loads as its style
// (QT_PLUGIN_PATH, QT_STYLE_OVERRIDE=windowflagsprobe): it draws as Fusion
// and tells on standard error, for each window as it is shown, the exact
// window flags the program asked for, e.g. "shown: MainWindow 0x4480b".

#include <QApplication>
#include <QEvent>
#include <QStyleFactory>
#include <QStylePlugin>
#include <QWidget>

#include <cstdio>

class WindowFlagsProbe : public QStylePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "windowflagsprobe.json")

public:
    QStyle *create(const QString &) override
    {
        qApp->installEventFilter(this);
        return QStyleFactory::create(QStringLiteral("Fusion"));
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType() && static_cast<QWidget *>(object)->isWindow()) {
            std::fprintf(stderr, "shown: %s 0x%x\n", object->metaObject()->className(),
                         uint(static_cast<QWidget *>(object)->windowFlags()));
            std::fflush(stderr);
        }
        return false;
    }
};

#include "WindowFlagsProbe.moc"
