#pragma once

#include <QMetaType>
#include <QString>

// What a check answer with "code" 1 offers.
struct UpdateOffer
{
    QString downloadUrl; // "responseData/software_download"
    QString version;     // "responseData/software_version"
    QString notes;       // "responseData/software_info", plain text
    // "responseData/software_signature": the base64 Ed25519 signature of the
    // installer's bytes; only a program built with a public key asks for it.
    QString signature;
};

Q_DECLARE_METATYPE(UpdateOffer)
