#include "StallingProxy.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

StallingProxy::StallingProxy(const QByteArray &body, int firstPart, bool withLength, const QByteArray &checkAnswer)
    : m_body(body)
    , m_firstPart(firstPart)
    , m_withLength(withLength)
    , m_checkAnswer(checkAnswer)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
        }
    });
    m_server.listen(QHostAddress::LocalHost);
    QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_server.serverPort()));
}

void StallingProxy::release()
{
    if (!m_download)
        return;
    m_download->write(m_body.mid(m_firstPart));
    m_download->disconnectFromHost();
}

void StallingProxy::trickle(int pieces, int intervalMs)
{
    if (!m_download)
        return;
    const QByteArray rest = m_body.mid(m_firstPart);
    const int piece = (rest.size() + pieces - 1) / qMax(pieces, 1);
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer, rest, piece, sent = 0]() mutable {
        m_download->write(rest.mid(sent, piece));
        sent += piece;
        if (sent >= rest.size()) {
            timer->stop();
            m_download->disconnectFromHost();
        }
    });
    timer->start(intervalMs);
}

void StallingProxy::onRequest(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const int headEnd = request.indexOf("\r\n\r\n");
    if (headEnd < 0 || socket->property("answered").toBool())
        return;
    if (request.startsWith("POST ")) {
        // The check's body, if any, follows the head; it is not looked at.
        socket->setProperty("answered", true);
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_checkAnswer.size())
                      + "\r\nConnection: close\r\n\r\n" + m_checkAnswer);
        socket->disconnectFromHost();
        return;
    }
    socket->setProperty("answered", true);
    if (m_download) {
        socket->abort(); // one download only
        return;
    }
    m_download = socket;
    connect(socket, &QTcpSocket::disconnected, this, [this] { m_clientGone = true; });
    QByteArray head = "HTTP/1.1 200 OK\r\n";
    if (m_withLength)
        head += "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + m_body.left(m_firstPart));
}
