#include "ProductIdentity.h"

#include <QSettings>
#include <QTextCodec>
#include <QVariant>

ProductIdentity ProductIdentity::read(const QString &directory)
{
    QSettings settings(directory + QStringLiteral("/config.ini"), QSettings::IniFormat);
    if (QTextCodec *codec = QTextCodec::codecForName("gb2312"))
        settings.setIniCodec(codec);

    ProductIdentity identity;
    identity.version = settings.value(QStringLiteral("Install/Version"), QVariant()).toString();
    identity.urlName = settings.value(QStringLiteral("Install/UrlName"), QVariant()).toString();
    identity.setupName = settings.value(QStringLiteral("Install/SetupName"), QVariant()).toString();
    return identity;
}
