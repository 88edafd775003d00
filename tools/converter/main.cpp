// Stand-in for the OrvalinPDF converter. It does what the launcher relies on:
// while it runs it holds the shared memory segment "pdfconvertersm"; when a
// launcher leaves the hand-off signal (byte 0 = 0x39) it comes to the front
// and clears the byte; once its window is up it ends the launcher whose pid
// stands in lunach.ini of its own per-user folder.

#include "ProcessControl.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const int segmentSize = 1024;

// The launcher records its pid before it starts the converter, so the record
// is there by the time the window is up.
void endLauncher()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                         + QStringLiteral("/lunach.ini");
    QSettings record(path, QSettings::IniFormat);
    bool ok = false;
    const qint64 pid = record.value(QStringLiteral("core/lunach")).toString().toLongLong(&ok);
    if (!ok || pid <= 0 || pid == QCoreApplication::applicationPid())
        return;
    // The record outlives the launcher and its pid may since belong to some
    // other program: only a process started from this folder is the launcher.
    const QString executable = ProcessControl::executablePath(pid);
    if (executable.isEmpty()
        || QFileInfo(executable).absolutePath() != QFileInfo(QCoreApplication::applicationFilePath()).absolutePath())
        return;
    ProcessControl::terminate(pid);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The per-user folder is named after the executable without ".exe", as
    // Qt names it on Windows, where the launcher looks for it.
    app.setApplicationName(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());

    QSharedMemory segment;
    segment.setKey(QStringLiteral("pdfconvertersm"));
    // A new segment comes zero-filled.
    if (!segment.create(segmentSize) && segment.error() == QSharedMemory::AlreadyExists)
        segment.attach();

    QWidget window;
    window.setWindowTitle(QStringLiteral("OrvalinPDF converter (stand-in)"));
    auto *layout = new QVBoxLayout(&window);
    auto *status = new QLabel(&window);
    status->setAlignment(Qt::AlignCenter);
    layout->addWidget(status);
    int handoffs = 0;
    const auto showStatus = [&] {
        status->setText(QStringLiteral("Converter stand-in, pid %1\nhand-offs received: %2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(handoffs));
    };
    showStatus();
    window.resize(420, 300);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!segment.isAttached() || segment.size() < 1 || !segment.lock())
            return;
        char *byte = static_cast<char *>(segment.data());
        const bool signalled = *byte == 0x39;
        if (signalled)
            *byte = 0;
        segment.unlock();
        if (signalled) {
            ++handoffs;
            showStatus();
            if (!window.isVisible())
                return;
            window.showNormal();
            window.raise();
            window.activateWindow();
        }
    });
    poll.start(100);

    // Like the real converter, take a moment to load, so that the launcher's
    // splash is seen; then show the window and end the launcher.
    QTimer::singleShot(1500, &window, [&window] {
        window.show();
        QTimer::singleShot(0, &window, endLauncher);
    });
    return app.exec();
}
