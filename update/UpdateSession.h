#pragma once

#include "UpdateOffer.h"

#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>

class ElevatedStart;
class QNetworkAccessManager;
class QNetworkReply;
class ReplyTracker;
struct ProductIdentity;

// One update dialog's exchange with the update service: the check, then the
// download of an offered installer into a file and its elevated start. The
// session owns the network manager, the request and the transfers, and knows
// nothing of widgets: its owner learns what happened from the signals.
// Deleting the session ends a transfer that is still running.
class UpdateSession : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        Network, // the transfer broke off, or the installer could not be stored
        Status,  // an HTTP status other than 200 that the network layer lets pass (3xx)
    };
    Q_ENUM(Failure)

    // What a download needs from its owner, given when it starts.
    struct Target
    {
        // Removed first, then created anew, receives the bytes, then started
        // elevated.
        QString installerFile;
        // Working directory of the elevated start; may be empty.
        QString workingDirectory;
        // Without a Content-Length the progress counts steps of this many
        // bytes of this download, up to 100.
        qint64 bytesPerStep = 1;
    };

    explicit UpdateSession(QObject *parent = nullptr);
    ~UpdateSession() override;

    // A check or download that receives nothing for this long ends as a
    // network failure; one that keeps receiving is never cut.
    static constexpr int kDefaultIdleLimitMs = 30000;
    // Applies to the transfers started afterwards.
    void setIdleLimit(int milliseconds) { m_idleLimitMs = milliseconds; }

    // Posts the update check for `identity`, stamped with the current time.
    void startCheck(const ProductIdentity &identity);

    // Downloads the last offer's installer (an http or https URL whose text
    // ends in ".exe"); any other URL is left alone without a signal, and so
    // is every start while the installer this session started still runs.
    void startDownload(const Target &target);

    // replyFinished() and storeChunk() are public only for the dialogs' kept
    // slots UpdateFinished(QNetworkReply*) and writeexedata(), which forward here.

    // Classifies a finished reply, signals the outcome and releases the reply.
    // The session's own replies come here by themselves; an owner may hand in
    // another reply, which is judged by its URL alone.
    void replyFinished(QNetworkReply *finished);

    // Stores what the running download has available.
    void storeChunk();

    // Whether the installer this session started last (or the prompt before
    // it) still runs.
    bool installerRunning() const;

    // The installer URL of the last offer; empty before one.
    QString downloadUrl() const { return m_downloadUrl; }
    // Installer bytes written over all downloads of the session.
    qint64 writtenBytes() const { return m_writtenBytes; }

    // The largest installer that is downloaded (ORVALIN_UPDATE_MAX_INSTALLER_MB
    // MiB, fixed when building); a larger one is refused.
    static qint64 maxInstallerBytes();

    // The progress shown for a download, 0 to 100: the share of `total` that
    // has been received when the length is known (total > 0), otherwise the
    // number of whole steps received, never more than 100.
    static int progress(qint64 received, qint64 total, qint64 bytesPerStep);

signals:
    // `downloadUrl()` already names the offered installer.
    void offered(const UpdateOffer &offer);
    void noOffer();
    void checkFailed(UpdateSession::Failure failure);

    void downloadStarted();
    // A chunk went to the file: the progress (see progress()), the bytes of
    // this download so far and its length, or -1 when the reply gives none.
    void chunkStored(int progress, qint64 received, qint64 total);
    void downloadFailed(UpdateSession::Failure failure);
    // The installer is complete on disk; its elevated start follows at once.
    void downloadFinished();
    // The installer was handed to its elevated start, which did not refuse
    // it at once (on Linux a refusal may still follow).
    void installerStarted();
    // The elevated start failed: the administrator prompt was refused or
    // dismissed, or the installer could not be started.
    void installerRefused();

private:
    void scheduleStore();
    void finishDownload(QNetworkReply *finished);
    void giveUp(QNetworkReply *reply);
    void refuse(QNetworkReply *reply);
    static void release(ReplyTracker *tracker);

    QNetworkAccessManager *m_manager;
    ElevatedStart *m_elevation;
    QNetworkRequest m_request;
    QPointer<QNetworkReply> m_reply; // the most recent reply, until it is released
    QString m_downloadUrl;
    QString m_signature; // of the last offer's installer
    qint64 m_writtenBytes = 0;
    Target m_target;
    bool m_storePending = false;
    int m_idleLimitMs = kDefaultIdleLimitMs;
};
