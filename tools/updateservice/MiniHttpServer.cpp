#include "MiniHttpServer.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace {

constexpr qint64 kMaxHeaderBytes = 64 * 1024;
// Requests here are small JSON posts; a larger announced body is refused
// rather than collected in memory.
constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;
constexpr qint64 kSendChunk = 256 * 1024;
constexpr qint64 kSendHighWater = 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// Serves one connection: reads a request, answers it and closes.
class Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, MiniHttpServer::Handler handler, QList<HttpRequest> *log)
        : QObject(socket)
        , m_socket(socket)
        , m_tls(qobject_cast<QSslSocket *>(socket))
        , m_handler(std::move(handler))
        , m_log(log)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::sendMore);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void onReadyRead()
    {
        if (m_answered) {
            m_socket->readAll();
            return;
        }
        // A TLS client speaks first with a handshake record (type 22); left
        // unread, it starts the server side of the handshake.
        if (m_tls && m_tls->mode() == QSslSocket::UnencryptedMode && !m_headerDone && m_in.isEmpty()) {
            char first = 0;
            if (m_tls->peek(&first, 1) == 1 && first == 0x16) {
                startTls();
                return;
            }
        }
        m_in += m_socket->readAll();
        if (!m_headerDone) {
            const int end = m_in.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_in.size() > kMaxHeaderBytes)
                    m_socket->abort();
                return;
            }
            parseHeader(m_in.left(end));
            m_in.remove(0, end + 4);
            m_headerDone = true;
            if (m_bodyLength > kMaxBodyBytes) {
                m_socket->abort();
                return;
            }
        }
        if (m_in.size() < m_bodyLength)
            return;
        m_request.body = m_in.left(int(m_bodyLength));
        m_in.clear();
        answer();
    }

    void parseHeader(const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        m_request.method = requestLine.value(0);
        m_request.target = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            m_request.headers.append(qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
        }
        if (m_request.target.startsWith('/')) {
            m_request.path = m_request.target;
            m_request.host = m_request.header("Host");
        } else {
            const QUrl url = QUrl::fromEncoded(m_request.target);
            m_request.path = url.path(QUrl::FullyEncoded).toLatin1();
            if (url.hasQuery())
                m_request.path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
            m_request.host = url.host().toLatin1();
        }
        if (m_request.path.isEmpty())
            m_request.path = "/";
        bool ok = false;
        const qint64 length = m_request.header("Content-Length").toLongLong(&ok);
        m_bodyLength = ok && length > 0 ? length : 0;
    }

    void startTls()
    {
        m_request = HttpRequest();
        m_request.secure = true;
        m_headerDone = false;
        m_bodyLength = 0;
        m_in.clear();
        m_tls->startServerEncryption();
    }

    void answer()
    {
        if (m_tls && m_tls->mode() == QSslSocket::UnencryptedMode && m_request.method == "CONNECT") {
            // Be the proxy's far end too: the tunnel leads here, and the
            // client's handshake follows this answer on the same connection.
            m_log->append(m_request);
            m_socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
            startTls();
            return;
        }
        m_answered = true;
        m_log->append(m_request);
        const HttpResponse response = m_handler ? m_handler(m_request) : HttpResponse{404, {}, {}, -1, -1, false};
        if (response.drop) {
            m_socket->disconnectFromHost();
            return;
        }
        m_generated = response.generatedSize >= 0;
        m_total = m_generated ? response.generatedSize : response.body.size();
        m_limit = response.cutAfter >= 0 ? qMin(response.cutAfter, m_total) : m_total;

        QByteArray head
                = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
        bool hasType = false;
        for (const auto &h : response.headers) {
            head += h.first + ": " + h.second + "\r\n";
            hasType = hasType || h.first.compare("Content-Type", Qt::CaseInsensitive) == 0;
        }
        if (!hasType)
            head += "Content-Type: application/octet-stream\r\n";
        if (response.announcedLength != -2)
            head += "Content-Length: "
                    + QByteArray::number(response.announcedLength >= 0 ? response.announcedLength : m_total) + "\r\n";
        head += "Connection: close\r\n\r\n";
        m_socket->write(head);
        if (!m_generated) {
            m_socket->write(response.body.left(int(m_limit)));
            m_sent = m_limit;
        }
        sendMore();
    }

    void sendMore()
    {
        if (!m_answered || m_finished)
            return;
        while (m_sent < m_limit && m_socket->bytesToWrite() < kSendHighWater) {
            const qint64 n = qMin(kSendChunk, m_limit - m_sent);
            m_buffer.resize(int(n));
            MiniHttpServer::fillPattern(m_buffer.data(), m_sent, n);
            m_socket->write(m_buffer);
            m_sent += n;
        }
        if (m_sent >= m_limit) {
            m_finished = true;
            // disconnectFromHost() waits until everything written has gone out.
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket *m_socket;
    QSslSocket *m_tls; // when the server offers TLS
    MiniHttpServer::Handler m_handler;
    QList<HttpRequest> *m_log;
    HttpRequest m_request;
    QByteArray m_in;
    QByteArray m_buffer;
    qint64 m_bodyLength = 0;
    qint64 m_total = 0;
    qint64 m_limit = 0;
    qint64 m_sent = 0;
    bool m_headerDone = false;
    bool m_answered = false;
    bool m_generated = false;
    bool m_finished = false;
};

// Hands out TLS-capable sockets once a certificate is set, plain ones before.
class TcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

    QSslConfiguration tls;
    bool tlsSet = false;

protected:
    void incomingConnection(qintptr handle) override
    {
        if (!tlsSet) {
            QTcpServer::incomingConnection(handle);
            return;
        }
        auto *socket = new QSslSocket(this);
        socket->setSslConfiguration(tls);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        addPendingConnection(socket);
    }
};

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

MiniHttpServer::MiniHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new TcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &MiniHttpServer::onNewConnection);
}

MiniHttpServer::~MiniHttpServer() = default;

bool MiniHttpServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 MiniHttpServer::port() const
{
    return m_server->serverPort();
}

void MiniHttpServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

bool MiniHttpServer::setTls(const QList<QSslCertificate> &chain, const QSslKey &key)
{
    if (!QSslSocket::supportsSsl() || chain.isEmpty() || key.isNull())
        return false;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto *server = static_cast<TcpServer *>(m_server);
    server->tls = tls;
    server->tlsSet = true;
    return true;
}

char MiniHttpServer::pattern(qint64 index)
{
    // Varies with the position at several scales, so a chunk stored twice,
    // dropped or moved changes the content.
    const quint64 i = quint64(index);
    return char(((i * 131u) ^ (i >> 9) ^ (i >> 21) ^ 0x5a) & 0xffu);
}

void MiniHttpServer::fillPattern(char *out, qint64 offset, qint64 count)
{
    for (qint64 k = 0; k < count; ++k)
        out[k] = pattern(offset + k);
}

void MiniHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new Connection(socket, m_handler, &m_requests);
}
