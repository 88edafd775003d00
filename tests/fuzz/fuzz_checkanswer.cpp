// A finished check reply whose body is the input, classified by the update
// session as the update dialogs have it done from UpdateFinished(QNetworkReply*);
// then the install button's start of a download of whatever URL was offered.
// All traffic goes to a proxy on a loopback port that nothing serves, so no
// request leaves the machine.

#include "CheckExchange.h"
#include "FuzzSupport.h"
#include "ReplyTracker.h"
#include "UpdateSession.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cstring>

namespace {

// A reply that has finished with HTTP 200 and holds `body`.
class FinishedReply : public QNetworkReply
{
public:
    explicit FinishedReply(const QByteArray &body)
        : m_body(body)
    {
        setOperation(QNetworkAccessManager::PostOperation);
        setUrl(CheckExchange::checkUrl());
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        setFinished(true);
    }

    void abort() override {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_body.size() - m_read + QNetworkReply::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_body.size() - m_read);
        if (n <= 0)
            return m_read < m_body.size() ? 0 : -1;
        std::memcpy(data, m_body.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }

private:
    QByteArray m_body;
    qint64 m_read = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));

    UpdateSession session;
    int reactions = 0;
    int offers = 0;
    UpdateOffer offered;
    QObject::connect(&session, &UpdateSession::checkFailed, [&] { ++reactions; });
    QObject::connect(&session, &UpdateSession::noOffer, [&] { ++reactions; });
    QObject::connect(&session, &UpdateSession::offered, [&](const UpdateOffer &offer) {
        ++reactions;
        ++offers;
        offered = offer;
    });
    int downloadsStarted = 0;
    QObject::connect(&session, &UpdateSession::downloadStarted, [&] { ++downloadsStarted; });

    auto *finished = new FinishedReply(body);
    new ReplyTracker(ReplyTracker::Role::Check, finished);
    session.replyFinished(finished);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Every finished check gets exactly one reaction; only an offer sets the
    // download URL.
    FUZZ_CHECK(reactions == 1);
    if (offers == 1)
        FUZZ_CHECK(session.downloadUrl() == offered.downloadUrl);
    else
        FUZZ_CHECK(session.downloadUrl().isEmpty());

    // Whatever was offered, only an http or https URL of an ".exe" is fetched.
    session.startDownload({QStringLiteral("/nonexistent/pdfinstall.exe"), QString(), 1});
    if (downloadsStarted) {
        const QUrl url(session.downloadUrl(), QUrl::TolerantMode);
        FUZZ_CHECK(url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
                   || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0);
        FUZZ_CHECK(session.downloadUrl().endsWith(QLatin1String(".exe")));
    }
    return 0;
}
