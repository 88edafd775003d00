#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>

#include <functional>

class QSslCertificate;
class QSslKey;
class QTcpServer;

// One request as it reached the server. Requests sent through a proxy carry
// the whole URL in the request line; `path` is the path part either way.
struct HttpRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray host;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Arrived over TLS, directly or through a CONNECT tunnel.
    bool secure = false;

    // First value of a header, the name compared without regard to case.
    QByteArray header(const QByteArray &name) const;
};

struct HttpResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // When not negative, the body is this many bytes of the generated pattern
    // (see MiniHttpServer::pattern), produced while sending.
    qint64 generatedSize = -1;
    // When not negative, the connection is closed after this many body bytes
    // although the full length was announced.
    qint64 cutAfter = -1;
    // Close the connection without any answer.
    bool drop = false;
    // When not -1, the Content-Length announced instead of the body's size;
    // -2 announces none (the body then ends when the connection closes).
    qint64 announcedLength = -1;
};

// A small HTTP/1.1 server for loopback use: it answers each request through a
// handler, streams large bodies without holding them in memory and closes the
// connection after every answer. It also works as the target of an HTTP
// proxy setting, so any host name can be pointed at it.
class MiniHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit MiniHttpServer(QObject *parent = nullptr);
    ~MiniHttpServer() override;

    bool listen(quint16 port = 0);
    quint16 port() const;

    void setHandler(Handler handler);

    // Serves TLS with this certificate chain (the server's own first) and key
    // besides plain HTTP on the same port: a connection that opens with a TLS
    // handshake is served encrypted, and a CONNECT (a client using the server
    // as its HTTP proxy for an https URL) is answered with 200, then TLS on
    // the same connection. Without it, CONNECT reaches the handler like any
    // request. requests() then lists the CONNECT and, marked secure, the
    // request inside the tunnel. False when this Qt has no TLS back end or
    // nothing was given.
    bool setTls(const QList<QSslCertificate> &chain, const QSslKey &key);
    const QList<HttpRequest> &requests() const { return m_requests; }

    // The generated body: byte i of the stream, and a run of bytes from offset.
    static char pattern(qint64 index);
    static void fillPattern(char *out, qint64 offset, qint64 count);

private:
    void onNewConnection();

    QTcpServer *m_server;
    Handler m_handler;
    QList<HttpRequest> m_requests;
};
