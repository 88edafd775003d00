#pragma once

#include "InstallerFile.h"

#include <QObject>
#include <QString>

// Attached as a child to every reply the client starts, so that a finished
// reply is recognised by what it is rather than by its URL text.
class ReplyTracker : public QObject
{
    Q_OBJECT

public:
    enum class Role { Check, Download };

    ReplyTracker(Role role, QObject *reply)
        : QObject(reply)
        , role(role)
    {}

    const Role role;
    InstallerFile installer; // download: where the bytes go
    qint64 received = 0;     // download: bytes stored by this download
    bool failed = false;     // the reply is being given up (too large, not storable)
    bool refused = false;    // download: given up for what it is; its file goes too
    bool superseded = false; // download: a newer download replaced it
};
