#pragma once

#include <QtGlobal>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QObject;
class QString;

// The update state that an update dialog keeps as its own members, handed to
// UpdateClient by reference so that the client reads and replaces them:
//
//     UpdateMembers{this, request, manager, reply, downloadurl, writtenbytes}
//
// `owner` must have the slots UpdateFinished(QNetworkReply*) and
// writeexedata(); the client connects the network signals to them.
struct UpdateMembers
{
    QObject *owner;
    QNetworkRequest *&request;       // owned by the dialog; check POST, then installer GET
    QNetworkAccessManager *&manager; // owned by the dialog, created without parent
    QNetworkReply *&reply;           // most recently started reply; not owned
    QString &downloadurl;            // installer URL of the last offer
    qint64 &writtenbytes;            // installer bytes written, over all downloads
};
