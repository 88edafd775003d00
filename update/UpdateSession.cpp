#include "UpdateSession.h"

#include "CheckExchange.h"
#include "ElevatedStart.h"
#include "InstallerSignature.h"
#include "ProductIdentity.h"
#include "ReplyTracker.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace {

// Bounds what the network layer buffers ahead of the disk while an installer
// downloads; the rest waits in the socket. Small pieces keep the network
// thread and this one working side by side: with bench/run.sh 256 KiB came
// out fastest, ahead of 128 KiB, 1 MiB and 4 MiB, and far ahead of no bound.
constexpr qint64 kDownloadReadBuffer = 256 * 1024;

ReplyTracker *trackerOf(QNetworkReply *reply)
{
    return reply ? reply->findChild<ReplyTracker *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool isHttpUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
            && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

UpdateSession::UpdateSession(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager)
    , m_elevation(new ElevatedStart(this))
    , m_request(QUrl())
{
    // So that an owner may also take the outcomes through queued connections.
    qRegisterMetaType<UpdateOffer>();
    qRegisterMetaType<UpdateSession::Failure>();
    connect(m_manager, &QNetworkAccessManager::finished, this, &UpdateSession::replyFinished);
    connect(m_elevation, &ElevatedStart::refused, this, &UpdateSession::installerRefused);
}

UpdateSession::~UpdateSession()
{
    // Deleting the manager ends its replies; nothing of that reaches the owner.
    QObject::disconnect(m_manager, nullptr, this, nullptr);
    if (m_reply)
        QObject::disconnect(m_reply, nullptr, this, nullptr);
    delete m_manager;
}

void UpdateSession::startCheck(const ProductIdentity &identity)
{
    const quint64 clock = quint64(qMax<qint64>(0, QDateTime::currentSecsSinceEpoch()));
    const QByteArray body = CheckExchange::requestBody(identity, clock);

    m_request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/raw"));
    m_request.setUrl(CheckExchange::checkUrl());
    // Qt restarts the limit with every byte that moves.
    m_request.setTransferTimeout(m_idleLimitMs);
    QNetworkReply *reply = m_manager->post(m_request, body);
    m_reply = reply;
    auto *tracker = new ReplyTracker(ReplyTracker::Role::Check, reply);
    connect(reply, &QNetworkReply::readyRead, tracker, [this, reply, tracker] {
        if (!tracker->failed && reply->bytesAvailable() > CheckExchange::kMaxAnswerBytes)
            giveUp(reply);
    });
}

void UpdateSession::startDownload(const Target &target)
{
    // The installer started last still runs: a second one must not start
    // over it (and on Windows its file cannot be replaced).
    if (installerRunning())
        return;
    if (!m_downloadUrl.endsWith(QLatin1String(".exe"), Qt::CaseSensitive))
        return;
    const QUrl url(m_downloadUrl, QUrl::TolerantMode);
    if (!isHttpUrl(url))
        return;

    emit downloadStarted();

    // A download still running would write into the new file: drop it.
    if (ReplyTracker *previous = trackerOf(m_reply)) {
        if (previous->role == ReplyTracker::Role::Download && m_reply->isRunning()) {
            previous->superseded = true;
            previous->installer.close();
            QObject::disconnect(m_reply, nullptr, this, nullptr);
            giveUp(m_reply);
        }
    }

    m_target = target;
    QFile::remove(target.installerFile);
    auto *tracker = new ReplyTracker(ReplyTracker::Role::Download, nullptr);
    // Created before the request goes out, and only where nothing is: an old
    // installer that could not be removed, or anything put there meanwhile,
    // fails the download.
    if (!tracker->installer.create(target.installerFile)) {
        delete tracker;
        emit downloadFailed(Failure::Network);
        return;
    }

    // The request still carries the check's content type, and so does the GET.
    // The installer comes as it is: nothing is unpacked on the way.
    m_request.setUrl(url);
    m_request.setRawHeader("Accept-Encoding", "identity");
    m_request.setTransferTimeout(m_idleLimitMs);
    QNetworkReply *reply = m_manager->get(m_request);
    // Over TLS a bounded read buffer stalls the transfer in Qt 5.15: the bytes
    // already decrypted are not taken up again once the buffer has room, and
    // the reply never finishes. There the network layer keeps what arrives.
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        reply->setReadBufferSize(kDownloadReadBuffer);
    m_reply = reply;
    tracker->setParent(reply);
    connect(reply, &QNetworkReply::readyRead, this, &UpdateSession::scheduleStore);
}

bool UpdateSession::installerRunning() const
{
    return m_elevation->isRunning();
}

// Stores once the network events already waiting have been delivered: when
// the network thread is ahead, several of its deliveries go to the file in one
// open, write and close. The last ones may come together with the finished
// reply, which stores them itself (replyFinished).
void UpdateSession::scheduleStore()
{
    if (m_storePending)
        return;
    m_storePending = true;
    QMetaObject::invokeMethod(
            this,
            [this] {
                m_storePending = false;
                storeChunk();
            },
            Qt::QueuedConnection);
}

void UpdateSession::storeChunk()
{
    QNetworkReply *reply = m_reply;
    ReplyTracker *tracker = trackerOf(reply);
    if (!tracker || tracker->role != ReplyTracker::Role::Download || tracker->superseded)
        return;
    if (tracker->failed) {
        reply->readAll();
        return;
    }
    // An error page is no installer; the finished reply reports the status.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        reply->readAll();
        return;
    }

    // Refused before a byte of it is written: an installer larger than any
    // the publisher ships, and a body packed for transfer (not the installer's
    // own bytes, and unpacked it could be any size). The headers do not
    // change, so the first chunk settles it.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (tracker->received == 0) {
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed();
        if ((length.isValid() && length.toLongLong() > maxInstallerBytes())
            || (!encoding.isEmpty() && encoding.compare("identity", Qt::CaseInsensitive) != 0)) {
            refuse(reply);
            return;
        }
    }

    // Taken as the network layer filled it: the first piece of the reply's
    // buffer comes without a copy.
    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty())
        return;
    if (tracker->received + chunk.size() > maxInstallerBytes()) {
        refuse(reply);
        return;
    }
    if (!tracker->installer.write(chunk.constData(), chunk.size())) {
        giveUp(reply);
        return;
    }
    const qint64 written = chunk.size();

    tracker->received += written;
    m_writtenBytes += written;
    const qint64 total = length.isValid() ? length.toLongLong() : -1;
    emit chunkStored(progress(tracker->received, total, m_target.bytesPerStep), tracker->received, total);
}

int UpdateSession::progress(qint64 received, qint64 total, qint64 bytesPerStep)
{
    const qint64 value = total > 0 ? received * 100 / total : received / qMax<qint64>(bytesPerStep, 1);
    return int(qBound<qint64>(0, value, 100));
}

void UpdateSession::replyFinished(QNetworkReply *finished)
{
    if (!finished)
        return;
    ReplyTracker *tracker = trackerOf(finished);
    const bool download = tracker && tracker->role == ReplyTracker::Role::Download;
    const auto failed = [this, download, tracker](Failure failure) {
        if (download) {
            release(tracker);
            emit downloadFailed(failure);
        } else {
            emit checkFailed(failure);
        }
    };

    const bool ours = download && !tracker->superseded && finished == m_reply;
    // Bytes still waiting in the reply belong to the installer file, also
    // those of a download that broke off (its partial file stays).
    if (ours && finished->bytesAvailable() > 0)
        storeChunk();

    if (download && !ours) {
        // Given up for a newer download; nothing of it counts.
    } else if (finished->error() != QNetworkReply::NoError || (tracker && tracker->failed)) {
        failed(Failure::Network);
    } else if (finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
        failed(Failure::Status);
    } else if (download) {
        finishDownload(finished);
    } else if (finished->bytesAvailable() > CheckExchange::kMaxAnswerBytes) {
        failed(Failure::Network);
    } else {
        const QJsonDocument answer = QJsonDocument::fromJson(finished->readAll());
        if (finished->url().path(QUrl::FullyDecoded).compare(CheckExchange::checkPath(), Qt::CaseInsensitive) == 0) {
            const std::optional<UpdateOffer> offer = CheckExchange::interpretAnswer(answer);
            if (offer && !CheckExchange::acceptsInstallerUrl(offer->downloadUrl)) {
                failed(Failure::Network);
            } else if (offer) {
                m_downloadUrl = offer->downloadUrl;
                m_signature = offer->signature;
                emit offered(*offer);
            } else {
                emit noOffer();
            }
        }
    }
    // Once released, the reply must not be looked at again (a later download
    // asks the most recent one whether it still runs).
    if (m_reply == finished)
        m_reply = nullptr;
    finished->deleteLater();
}

void UpdateSession::finishDownload(QNetworkReply *finished)
{
    ReplyTracker *tracker = trackerOf(finished);
    InstallerFile &installer = tracker->installer;
    // From here until the shell has started it, the checks and the start see
    // the one file that was written (see InstallerFile).
    if (tracker->failed || !installer.seal() || installer.size() != tracker->received) {
        release(tracker);
        emit downloadFailed(Failure::Network);
        return;
    }
    // Nothing arrived: there is no installer to start.
    if (tracker->received == 0) {
        installer.discard();
        emit downloadFailed(Failure::Network);
        return;
    }
    // With a publisher's key built in, only an installer whose bytes carry the
    // publisher's signature is started: whoever can change the traffic must
    // not get a program run as administrator.
    const QByteArray publicKey = CheckExchange::installerPublicKey();
    if (!publicKey.isEmpty()) {
        bool verified = false;
        const bool read = installer.withBytes([&](const uchar *data, qint64 size) {
            verified = InstallerSignature::verifyBytesBase64(data, size, publicKey, m_signature.toLatin1());
        });
        if (!read || !verified) {
            installer.discard();
            emit downloadFailed(Failure::Network);
            return;
        }
    }
    emit downloadFinished();
    const bool started = m_elevation->start(m_target.installerFile, m_target.workingDirectory);
    installer.close();
    if (started)
        emit installerStarted();
    else
        emit installerRefused();
}

// A program that checks signatures keeps no part of an installer it did not
// start: nothing unverified is left for anyone to run by hand. A refused
// download goes as well; any other failed one keeps its partial file.
void UpdateSession::release(ReplyTracker *tracker)
{
    if (tracker->refused || !CheckExchange::installerPublicKey().isEmpty())
        tracker->installer.discard();
    else
        tracker->installer.close();
}

// Gives a reply up without re-entering the caller: the abort (and with it the
// finished signal) comes from the event loop.
void UpdateSession::giveUp(QNetworkReply *reply)
{
    if (ReplyTracker *tracker = trackerOf(reply))
        tracker->failed = true;
    QMetaObject::invokeMethod(reply, "abort", Qt::QueuedConnection);
}

// Gives a download up for what it carries, and with it its file.
void UpdateSession::refuse(QNetworkReply *reply)
{
    if (ReplyTracker *tracker = trackerOf(reply))
        tracker->refused = true;
    giveUp(reply);
}

qint64 UpdateSession::maxInstallerBytes()
{
    return qint64(ORVALIN_UPDATE_MAX_INSTALLER_MB) * 1024 * 1024;
}
