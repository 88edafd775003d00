#include "ProductIdentity.h"

#include "SafeIniFile.h"

#include <QSettings>
#include <QTextCodec>
#include <QVariant>

ProductIdentity ProductIdentity::read(const QString &directory)
{
    ProductIdentity identity;
    QTextCodec *codec = QTextCodec::codecForName("gb2312");
    // A damaged value reads as missing; the others are read as usual.
    const SafeIniFile file(directory + QStringLiteral("/config.ini"), codec);
    if (file.path().isEmpty())
        return identity;

    QSettings settings(file.path(), QSettings::IniFormat);
    if (codec)
        settings.setIniCodec(codec);

    identity.version = settings.value(QStringLiteral("Install/Version"), QVariant()).toString();
    identity.urlName = settings.value(QStringLiteral("Install/UrlName"), QVariant()).toString();
    identity.setupName = settings.value(QStringLiteral("Install/SetupName"), QVariant()).toString();
    return identity;
}
