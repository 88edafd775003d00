// One installer download through an update dialog and its update session: the
// dialog checks with the update service (reached as an HTTP proxy on
// 127.0.0.1:PORT); the update-offer dialog ("offer") shows the offer and its
// install button is pressed, the automatic dialog ("auto") downloads at once.
// Timed from the session's start of the download to the installer's start,
// after which the update-offer dialog gives its install button back.
//
// Usage: bench_download PORT VERSION SIZE offer|auto
// Prints "<seconds> <idle rss kB> <peak rss kB>" on success; the peak is the
// high-water mark from the start of the download on, the idle figure the
// resident size just before it.

#include "AutoUpdateW.h"
#include "InstallerLocation.h"
#include "UpdateSession.h"
#include "UpdateW.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkProxy>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// From here on VmHWM counts anew (Linux 4.0 and later).
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 || (args.at(4) != QLatin1String("offer") && args.at(4) != QLatin1String("auto"))) {
        std::fprintf(stderr, "usage: bench_download PORT VERSION SIZE offer|auto\n");
        return 2;
    }
    const quint16 port = quint16(args.at(1).toUInt());
    const QString offered = QStringLiteral("v") + args.at(2);
    const qint64 size = args.at(3).toLongLong();
    const bool automatic = args.at(4) == QLatin1String("auto");
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));

    QDir().mkpath(InstallerLocation::folder());
    QFile::remove(InstallerLocation::file());

    // Owned and shown the way the converter does it.
    QWidget owner;
    QDialog *dialog = automatic ? static_cast<QDialog *>(new AutoUpdateW(&owner)) : new UpdateW(&owner);
    dialog->setWindowFlags(Qt::FramelessWindowHint | Qt::Dialog);
    dialog->setWindowOpacity(0.01);
    dialog->show();
    auto *session = dialog->findChild<UpdateSession *>();
    if (!session)
        return 2;

    QElapsedTimer clock;
    qint64 idleKb = -1;
    QObject::connect(session, &UpdateSession::downloadStarted, [&] {
        idleKb = statusKb("VmRSS");
        if (!resetPeak())
            std::fprintf(stderr, "cannot reset the peak memory; it includes the start\n");
        clock.start();
    });
    QObject::connect(session, &UpdateSession::downloadFailed, [] {
        std::fprintf(stderr, "download failed\n");
        QCoreApplication::exit(1);
    });
    // The bytes served are no program: as root nothing is started, and the
    // session says so; either way the download is complete.
    bool done = false;
    const auto finished = [&] {
        if (done)
            return;
        done = true;
        const double seconds = clock.nsecsElapsed() / 1e9;
        const qint64 peakKb = statusKb("VmHWM");
        const qint64 stored = QFileInfo(InstallerLocation::file()).size();
        if (stored != size) {
            std::fprintf(stderr, "download failed: %lld of %lld bytes stored\n", qint64(stored), size);
            QCoreApplication::exit(1);
            return;
        }
        std::printf("%.6f %lld %lld\n", seconds, idleKb, peakKb);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    };
    QObject::connect(session, &UpdateSession::installerStarted, finished);
    QObject::connect(session, &UpdateSession::installerRefused, finished);

    if (!automatic) {
        auto *info = dialog->findChild<QLabel *>(QStringLiteral("updateinfo"));
        auto *install = dialog->findChild<QPushButton *>(QStringLiteral("install"));
        if (!info || !install)
            return 2;
        // Pressed once the dialog shows the offer, as a user would.
        QObject::connect(session, &UpdateSession::offered, install, [info, install, offered] {
            QTimer::singleShot(0, install, [info, install, offered] {
                if (info->text() == offered)
                    install->click();
            });
        });
    }
    QTimer::singleShot(300000, [] {
        std::fprintf(stderr, "no result within 300 s\n");
        QCoreApplication::exit(1);
    });
    return app.exec();
}
