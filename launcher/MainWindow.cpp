#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "ConverterProcess.h"

#include <QCoreApplication>
#include <QLocale>
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
