#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// The application's HTTP proxy for one download: it answers the first GET
// with a 200 head and the first `firstPart` bytes of `body`, and sends the
// rest only on release(), so what a dialog shows in the middle of a download
// can be looked at. Without `withLength` the head carries no Content-Length
// and the body ends when the connection closes. A POST (the update check) is
// answered with `checkAnswer` at once.
class StallingProxy : public QObject
{
public:
    StallingProxy(const QByteArray &body, int firstPart, bool withLength = true,
                  const QByteArray &checkAnswer = QByteArray());

    // Sends the rest of the body and closes the connection.
    void release();
    // Sends the rest of the body in `pieces` parts, one every `intervalMs`,
    // then closes the connection.
    void trickle(int pieces, int intervalMs);
    bool requested() const { return m_download != nullptr; }
    bool clientGone() const { return m_clientGone; }

private:
    void onRequest(QTcpSocket *socket);

    QTcpServer m_server;
    QTcpSocket *m_download = nullptr;
    QByteArray m_body;
    int m_firstPart;
    bool m_withLength;
    QByteArray m_checkAnswer;
    bool m_clientGone = false;
};
