#include "InstallerFileSetting.h"

#include "FolderPath.h"
#include "InstallerLocation.h"
#include "SafeIniFile.h"

#include <QSettings>
#include <QVariant>

namespace InstallerFileSetting {

QString updateDir(const QString &directory)
{
    // A damaged value reads as missing: the default installer file applies.
    const SafeIniFile file(directory + QStringLiteral("/convert.ini"));
    if (file.path().isEmpty())
        return QString();
    const QSettings settings(file.path(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Setting/updatedir"), QVariant()).toString();
}

QString installerFile(const QString &updatedir)
{
    // The installer is started with administrator rights: a folder where
    // someone else could swap it for their own program, or one that depends
    // on the working directory, is not used.
    if (updatedir.isEmpty() || !FolderPath::onlyUserCanChange(updatedir))
        return InstallerLocation::file();
    return FolderPath::join(updatedir, QStringLiteral("pdfinstall.exe"));
}

} // namespace InstallerFileSetting
