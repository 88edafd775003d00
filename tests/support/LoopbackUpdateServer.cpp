#include "LoopbackUpdateServer.h"

#include <QNetworkProxy>

LoopbackUpdateServer::LoopbackUpdateServer()
{
    m_listening = listen();
    if (m_listening)
        QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port()));
}

LoopbackUpdateServer::~LoopbackUpdateServer()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}
