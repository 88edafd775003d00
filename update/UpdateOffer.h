#pragma once

#include <QMetaType>
#include <QString>

// What a check answer with "code" 1 offers.
struct UpdateOffer
{
    QString downloadUrl; // "responseData/software_download"
    QString version;     // "responseData/software_version"
    QString notes;       // "responseData/software_info", plain text
};

Q_DECLARE_METATYPE(UpdateOffer)
