// Stand-in for the OrvalinPDF converter. It does what the launcher relies on:
// while it runs it holds the shared memory segment "pdfconvertersm"; when a
// launcher leaves the hand-off signal (byte 0 = 0x39) it comes to the front
// and clears the byte; once its window is up it ends the launcher whose pid
// stands in lunach.ini of its own per-user folder.

#include "ApplicationName.h"
#include "AutoUpdateW.h"
#include "InstallerLocation.h"
#include "PidRecord.h"
#include "ProcessControl.h"
#include "UpdateW.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkProxy>
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
    const qint64 pid = PidRecord::read(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                                       + QStringLiteral("/lunach.ini"));
    if (pid <= 0 || pid == QCoreApplication::applicationPid())
        return;
    // The record outlives the launcher and its pid may since belong to some
    // other program: only a process started from this folder is the launcher.
    const QString executable = ProcessControl::executablePath(pid);
    if (executable.isEmpty()
        || QFileInfo(executable).absolutePath() != QFileInfo(QCoreApplication::applicationFilePath()).absolutePath())
        return;
    ProcessControl::terminate(pid);
}

// Sends the program's HTTP traffic, and with it the requests for the fixed
// update host, through `hostPort` (the stand-in update service).
bool routeUpdateTraffic(const QString &hostPort)
{
    const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = hostPort.mid(colon + 1).toUInt(&ok);
    if (colon <= 0 || !ok || port == 0 || port > 65535)
        return false;
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, hostPort.left(colon), quint16(port)));
    return true;
}

// Opens an update dialog as the real converter does: owned by its main
// window, frameless, and all but invisible until the service makes an offer.
// UpdateW then waits for its install button; AutoUpdateW downloads at once and
// starts the installer.
template<class Dialog>
void openUpdateDialog(QWidget *window)
{
    // The installer is downloaded into the converter's output folder, which
    // the real converter's installation provides.
    QDir().mkpath(InstallerLocation::folder());
    auto *dialog = new Dialog(window);
    dialog->setWindowFlags(Qt::FramelessWindowHint | Qt::Dialog);
    dialog->setWindowOpacity(0.01);
    dialog->show();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The per-user folder is named after the executable without ".exe", where
    // the launcher looks for it.
    ApplicationName::followExecutableFile();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in for the OrvalinPDF converter."));
    parser.addHelpOption();
    const QCommandLineOption updateOfferOption(
            QStringLiteral("update-offer"),
            QStringLiteral("Once the window is up, check for an update and offer it (update-offer dialog)."));
    const QCommandLineOption updateServiceOption(
            QStringLiteral("update-service"),
            QStringLiteral("Reach the update host through the stand-in update service at host:port."),
            QStringLiteral("host:port"));
    const QCommandLineOption autoUpdateOption(
            QStringLiteral("auto-update"),
            QStringLiteral("Once the window is up, check for an update and install it without asking "
                           "(automatic update dialog; convert.ini beside the program may name the installer folder)."));
    parser.addOptions({updateOfferOption, updateServiceOption, autoUpdateOption});
    parser.process(app);
    if (parser.isSet(updateServiceOption) && !routeUpdateTraffic(parser.value(updateServiceOption))) {
        qWarning("invalid --update-service, expected host:port");
        return 2;
    }
    const bool updateOffer = parser.isSet(updateOfferOption);
    const bool autoUpdate = parser.isSet(autoUpdateOption);

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
    QTimer::singleShot(1500, &window, [&window, updateOffer, autoUpdate] {
        window.show();
        QTimer::singleShot(0, &window, endLauncher);
        if (updateOffer)
            openUpdateDialog<UpdateW>(&window);
        if (autoUpdate)
            openUpdateDialog<AutoUpdateW>(&window);
    });
    return app.exec();
}
