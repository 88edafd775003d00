#include "ProductIdentity.h"

#include "IniContent.h"

#include <QSettings>
#include <QTextCodec>
#include <QVariant>

ProductIdentity ProductIdentity::read(const QString &directory)
{
    ProductIdentity identity;
    const QString path = directory + QStringLiteral("/config.ini");
    // A damaged file counts as unreadable: the check goes out with empty values.
    if (IniContent::fileMayHoldSerializedVariant(path))
        return identity;

    QSettings settings(path, QSettings::IniFormat);
    if (QTextCodec *codec = QTextCodec::codecForName("gb2312"))
        settings.setIniCodec(codec);

    identity.version = settings.value(QStringLiteral("Install/Version"), QVariant()).toString();
    identity.urlName = settings.value(QStringLiteral("Install/UrlName"), QVariant()).toString();
    identity.setupName = settings.value(QStringLiteral("Install/SetupName"), QVariant()).toString();
    return identity;
}
