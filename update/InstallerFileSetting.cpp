#include "InstallerFileSetting.h"

#include "FolderPath.h"
#include "IniContent.h"
#include "InstallerLocation.h"

#include <QSettings>
#include <QVariant>

namespace InstallerFileSetting {

QString updateDir(const QString &directory)
{
    const QString path = directory + QStringLiteral("/convert.ini");
    // A damaged file counts as unreadable: the default installer file applies.
    if (IniContent::fileMayHoldSerializedVariant(path))
        return QString();
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(QStringLiteral("Setting/updatedir"), QVariant()).toString();
}

QString installerFile(const QString &updatedir)
{
    if (updatedir.isEmpty())
        return InstallerLocation::file();
    return FolderPath::join(updatedir, QStringLiteral("pdfinstall.exe"));
}

} // namespace InstallerFileSetting
