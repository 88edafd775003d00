#include "UpdateClient.h"

#include "CheckExchange.h"
#include "ElevatedStart.h"
#include "ProductIdentity.h"
#include "ReplyTracker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <limits>

namespace UpdateClient {

namespace {

// Bounds what the network layer buffers ahead of the disk while an installer
// downloads; the rest waits in the socket.
constexpr qint64 kDownloadReadBuffer = 4 * 1024 * 1024;

ReplyTracker *trackerOf(QNetworkReply *reply)
{
    return reply ? reply->findChild<ReplyTracker *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void call(const std::function<void()> &f)
{
    if (f)
        f();
}

// Gives a reply up without re-entering the caller: the abort (and with it the
// finished signal) comes from the event loop.
void giveUp(QNetworkReply *reply, ReplyTracker *tracker)
{
    tracker->failed = true;
    QMetaObject::invokeMethod(reply, "abort", Qt::QueuedConnection);
}

int progressValue(qint64 written, int divisor)
{
    const qint64 value = written / (divisor > 0 ? divisor : 1);
    return int(qBound<qint64>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

bool isHttpUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
            && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void finishDownload(const UpdateMembers &members, QNetworkReply *finished, ReplyTracker *tracker,
                    const UpdateProfile &profile)
{
    // Bytes that arrived after the last readyRead belong to the installer too.
    if (finished->bytesAvailable() > 0)
        storeChunk(members, profile);

    const QFileInfo info(tracker->file);
    const qint64 onDisk = info.exists() ? info.size() : 0;
    if (tracker->failed || onDisk != tracker->received) {
        call(profile.failedNetwork);
        return;
    }
    call(profile.completionDisplay);
    ElevatedStart::start(tracker->file, profile.workingDirectory);
    call(profile.endDisplay);
}

} // namespace

void startCheck(const UpdateMembers &members)
{
    startCheck(members, ProductIdentity::read(QCoreApplication::applicationDirPath()));
}

void startCheck(const UpdateMembers &members, const ProductIdentity &identity)
{
    const quint64 clock = quint64(qMax<qint64>(0, QDateTime::currentSecsSinceEpoch()));
    const QByteArray body = CheckExchange::requestBody(identity, clock);

    if (!members.request)
        members.request = new QNetworkRequest(QUrl());
    if (!members.manager) {
        members.manager = new QNetworkAccessManager();
        QObject::connect(members.manager, SIGNAL(finished(QNetworkReply *)), members.owner,
                         SLOT(UpdateFinished(QNetworkReply *)));
    }
    members.request->setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/raw"));
    members.request->setUrl(CheckExchange::checkUrl());

    QNetworkReply *reply = members.manager->post(*members.request, body);
    members.reply = reply;
    auto *tracker = new ReplyTracker(ReplyTracker::Role::Check, reply);
    QObject::connect(reply, &QNetworkReply::readyRead, tracker, [reply, tracker] {
        if (!tracker->failed && reply->bytesAvailable() > CheckExchange::kMaxAnswerBytes)
            giveUp(reply, tracker);
    });
}

void startDownload(const UpdateMembers &members, const UpdateProfile &profile)
{
    if (!members.downloadurl.endsWith(QLatin1String(".exe"), Qt::CaseSensitive))
        return;
    const QUrl url(members.downloadurl, QUrl::TolerantMode);
    if (!isHttpUrl(url) || !members.manager || !members.request)
        return;

    call(profile.startDisplay);

    // A download still running would write into the new file: drop it.
    if (ReplyTracker *previous = trackerOf(members.reply)) {
        if (previous->role == ReplyTracker::Role::Download && members.reply->isRunning()) {
            previous->superseded = true;
            QObject::disconnect(members.reply, nullptr, members.owner, nullptr);
            giveUp(members.reply, previous);
        }
    }

    const QString file = profile.installerFile;
    QFile::remove(file);
    const QFileInfo old(file);
    if (old.exists() || old.isSymLink()) {
        // Appending to an old installer would hand a corrupt file to the shell.
        call(profile.failedNetwork);
        return;
    }

    members.request->setUrl(url);
    QNetworkReply *reply = members.manager->get(*members.request);
    reply->setReadBufferSize(kDownloadReadBuffer);
    members.reply = reply;
    auto *tracker = new ReplyTracker(ReplyTracker::Role::Download, reply);
    tracker->file = file;
    QObject::connect(reply, SIGNAL(readyRead()), members.owner, SLOT(writeexedata()));
}

void storeChunk(const UpdateMembers &members, const UpdateProfile &profile)
{
    QNetworkReply *reply = members.reply;
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

    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty())
        return;

    QFile file(tracker->file);
    // The first chunk starts the file afresh, whatever appeared there meanwhile.
    const QIODevice::OpenMode mode
            = tracker->received == 0 ? (QIODevice::WriteOnly | QIODevice::Truncate) : QIODevice::Append;
    bool stored = file.open(mode);
    qint64 written = 0;
    if (stored) {
        written = file.write(chunk);
        stored = written == chunk.size() && file.flush();
        file.close();
        stored = stored && file.error() == QFileDevice::NoError;
    }
    if (!stored) {
        giveUp(reply, tracker);
        return;
    }

    tracker->received += written;
    members.writtenbytes += written;
    const int value = progressValue(members.writtenbytes, profile.progressDivisor);
    if (profile.chunkDisplay) {
        QString text = profile.progressFormat;
        text.replace(QLatin1String("%d"), QString::number(value));
        profile.chunkDisplay(value, text);
    }
}

void replyFinished(const UpdateMembers &members, QNetworkReply *finished, const UpdateProfile &profile)
{
    if (!finished)
        return;
    ReplyTracker *tracker = trackerOf(finished);
    const bool download = tracker && tracker->role == ReplyTracker::Role::Download;

    if (download && (tracker->superseded || finished != members.reply)) {
        // Given up for a newer download; nothing of it counts.
    } else if (finished->error() != QNetworkReply::NoError || (tracker && tracker->failed)) {
        call(profile.failedNetwork);
    } else if (finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
        call(profile.failedStatus);
    } else if (download) {
        finishDownload(members, finished, tracker, profile);
    } else if (finished->bytesAvailable() > CheckExchange::kMaxAnswerBytes) {
        call(profile.failedNetwork);
    } else {
        const QJsonDocument answer = QJsonDocument::fromJson(finished->readAll());
        if (finished->url().path(QUrl::FullyDecoded).compare(CheckExchange::checkPath(), Qt::CaseInsensitive) == 0) {
            const std::optional<UpdateOffer> offer = CheckExchange::interpretAnswer(answer);
            if (offer) {
                members.downloadurl = offer->downloadUrl;
                if (profile.offer)
                    profile.offer(*offer);
            } else {
                call(profile.noOffer);
            }
        }
    }
    // The member names the most recent reply; once that is released it must
    // not be looked at again (a later download asks it what it was).
    if (members.reply == finished)
        members.reply = nullptr;
    finished->deleteLater();
}

} // namespace UpdateClient
