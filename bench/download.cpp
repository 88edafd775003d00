// One installer download as the update-offer dialog does it, through the real
// update client: the dialog checks with the update service (reached as an
// HTTP proxy on 127.0.0.1:PORT), shows the offer, and its install button is
// pressed. Timed from the press to the install button coming back, which the
// dialog does once the download has finished and the installer was started.
//
// Usage: bench_download PORT VERSION SIZE
// Prints "<seconds> <idle rss kB> <peak rss kB>" on success; the peak is the
// high-water mark from the press on, the idle figure the resident size just
// before it.

#include "InstallerLocation.h"
#include "UpdateW.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkProxy>
#include <QPushButton>
#include <QTextStream>
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

class Finish : public QObject
{
public:
    Finish(QPushButton *install, QElapsedTimer *clock, qint64 idleKb, qint64 size)
        : m_install(install)
        , m_clock(clock)
        , m_idleKb(idleKb)
        , m_size(size)
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_install && event->type() == QEvent::EnabledChange && m_install->isEnabled()) {
            const double seconds = m_clock->nsecsElapsed() / 1e9;
            const qint64 peakKb = statusKb("VmHWM");
            const qint64 stored = QFileInfo(InstallerLocation::file()).size();
            if (stored != m_size) {
                std::fprintf(stderr, "download failed: %lld of %lld bytes stored\n", qint64(stored), m_size);
                QCoreApplication::exit(1);
            } else {
                std::printf("%.6f %lld %lld\n", seconds, m_idleKb, peakKb);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            }
        }
        return false;
    }

private:
    QPushButton *m_install;
    QElapsedTimer *m_clock;
    qint64 m_idleKb;
    qint64 m_size;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: bench_download PORT VERSION SIZE\n");
        return 2;
    }
    const quint16 port = quint16(args.at(1).toUInt());
    const QString offered = QStringLiteral("v") + args.at(2);
    const qint64 size = args.at(3).toLongLong();
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));

    QDir().mkpath(InstallerLocation::folder());
    QFile::remove(InstallerLocation::file());

    // Owned and shown the way the converter does it.
    QWidget owner;
    auto *dialog = new UpdateW(&owner);
    dialog->setWindowFlags(Qt::FramelessWindowHint | Qt::Dialog);
    dialog->show();
    auto *info = dialog->findChild<QLabel *>(QStringLiteral("updateinfo"));
    auto *install = dialog->findChild<QPushButton *>(QStringLiteral("install"));
    if (!info || !install)
        return 2;

    QElapsedTimer clock;
    Finish *finish = nullptr;
    QTimer offerWait;
    QObject::connect(&offerWait, &QTimer::timeout, [&] {
        if (info->text() != offered)
            return;
        offerWait.stop();
        const qint64 idleKb = statusKb("VmRSS");
        if (!resetPeak())
            std::fprintf(stderr, "cannot reset the peak memory; it includes the start\n");
        finish = new Finish(install, &clock, idleKb, size);
        install->installEventFilter(finish);
        clock.start();
        install->click();
    });
    offerWait.start(5);
    QTimer::singleShot(300000, [] {
        std::fprintf(stderr, "no result within 300 s\n");
        QCoreApplication::exit(1);
    });

    const int result = app.exec();
    delete finish;
    return result;
}
