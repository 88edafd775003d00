#include "StartPathModule.h"

#include "ApplicationName.h"
#include "MainWindow.h"
#include "PidRecord.h"
#include "QtSingleApplication.h"

#include <QSettings>

int orvalinStartPath(int *argc, char **argv)
{
    // The splash is drawn by the raster engine alone. Left to decide, Qt on X11
    // prepares every top-level widget for OpenGL children: it loads the GL
    // stack and searches its configurations for the translucent window's
    // visual, which held the splash back by more than a bare window takes.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    // Sized in logical pixels: on a screen scaled to 200 % it is twice as large.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QtSingleApplication app(*argc, argv, true);
    ApplicationName::followExecutableFile();

    MainWindow window;
    // 0x4480B: a frameless tool window that stays on top.
    window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint);
    window.setAttribute(Qt::WA_TranslucentBackground, true);
    window.show();

    // After show(), which returns once the window system has the window: the
    // record's write and sync, and starting the converter beside the
    // launcher, would hold the splash back. The converter sees the same as
    // before: the record is on disk before any converter is ended or started,
    // and the old one is gone before the new one starts.
    QSettings record(PidRecord::filePath(), QSettings::IniFormat);
    PidRecord::write(record, QCoreApplication::applicationPid());
    window.restartConverter();

    app.exec();
    return 0;
}
