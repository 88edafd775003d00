// A finished check reply whose body is the input, classified by the same
// client call the update dialogs make from UpdateFinished(QNetworkReply*);
// then the install button's start of a download of whatever URL was offered
// (without a network manager, so only the offered text is looked at).

#include "CheckExchange.h"
#include "FuzzSupport.h"
#include "ReplyTracker.h"
#include "UpdateClient.h"

#include <QCoreApplication>
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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));

    QObject owner;
    QNetworkRequest *request = nullptr;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *reply = nullptr;
    QString downloadurl = QStringLiteral("unchanged");
    qint64 writtenbytes = 0;
    const UpdateMembers members{&owner, request, manager, reply, downloadurl, writtenbytes};

    int reactions = 0;
    int offers = 0;
    UpdateOffer offered;
    UpdateProfile profile;
    profile.installerFile = QStringLiteral("/nonexistent/pdfinstall.exe");
    profile.failedNetwork = [&] { ++reactions; };
    profile.failedStatus = [&] { ++reactions; };
    profile.noOffer = [&] { ++reactions; };
    profile.offer = [&](const UpdateOffer &offer) {
        ++reactions;
        ++offers;
        offered = offer;
    };
    int downloadsStarted = 0;
    profile.startDisplay = [&] { ++downloadsStarted; };

    auto *finished = new FinishedReply(body);
    new ReplyTracker(ReplyTracker::Role::Check, finished);
    reply = finished;
    UpdateClient::replyFinished(members, finished, profile);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Every finished check gets exactly one reaction; only an offer replaces
    // the download URL, and the released reply is not kept.
    FUZZ_CHECK(reactions == 1);
    FUZZ_CHECK(reply == nullptr);
    if (offers == 1)
        FUZZ_CHECK(downloadurl == offered.downloadUrl);
    else
        FUZZ_CHECK(downloadurl == QLatin1String("unchanged"));

    // Whatever was offered, without a manager nothing may start.
    UpdateClient::startDownload(members, profile);
    FUZZ_CHECK(downloadsStarted == 0);
    FUZZ_CHECK(reply == nullptr);
    return 0;
}
