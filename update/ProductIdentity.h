#pragma once

#include <QString>

// The installed product as config.ini in the program directory names it. A
// missing file or key leaves the text empty.
struct ProductIdentity
{
    QString version;   // "Install/Version"
    QString urlName;   // "Install/UrlName"
    QString setupName; // "Install/SetupName"

    // Reads `directory`/config.ini with the gb2312 codec.
    static ProductIdentity read(const QString &directory);
};
