#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "ConverterProcess.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPixmapCache>
#include <QTimer>

namespace {

const char converterImage[] = "orvalinpdfConverter.exe";

bool chineseLocale()
{
    return QLocale().language() == QLocale::Chinese;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    if (!chineseLocale())
        resize(280, 250);

    // The frames stay decoded in the pixmap cache from one loop to the next.
    // On a scaled screen they come at twice the size, 13 to 18 MB for the 16,
    // more than Qt's default limit of 10 MB: each would then be read and
    // decoded again at every tick.
    const int scale = qGuiApp->devicePixelRatio() > 1.0 ? 2 : 1;
    const int framesKb = 16 * width() * scale * height() * scale * 4 / 1024;
    QPixmapCache::setCacheLimit(qMax(QPixmapCache::cacheLimit(), framesKb + 2048));

    frame = 0;
    timer = new QTimer(this);
    connect(timer, SIGNAL(timeout()), this, SLOT(lunach()));
    timer->start(100);
}

void MainWindow::restartConverter()
{
    // Any converter still running (hung, or started by hand) is ended before
    // the new one starts, so exactly one comes up.
    ConverterProcess::killByImageName(QString::fromLatin1(converterImage));
    ConverterProcess::start(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                            + QString::fromLatin1(converterImage));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::lunach()
{
    // Chosen at every tick, so the frames follow a locale that changes.
    const QString style = chineseLocale() ? QStringLiteral("#body{border-image: url(:/images/%d.png);}")
                                          : QStringLiteral("#body{border-image: url(:/images/overseas%d.png);}");
    ++frame;
    ui->body->setStyleSheet(
            QString(style).replace(QStringLiteral("%d"), QString::number(frame, 10), Qt::CaseSensitive));
    if (frame > 15)
        frame = 0;
}
