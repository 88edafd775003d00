#include "InstallerFileSetting.h"

#include "FolderPath.h"
#include "InstallerLocation.h"

#include <QSettings>
#include <QVariant>

namespace InstallerFileSetting {

QString updateDir(const QString &directory)
{
    const QSettings settings(directory + QStringLiteral("/convert.ini"), QSettings::IniFormat);
    return settings.value(QStringLiteral("Setting/updatedir"), QVariant()).toString();
}

QString installerFile(const QString &updatedir)
{
    if (updatedir.isEmpty())
        return InstallerLocation::file();
    return FolderPath::join(updatedir, QStringLiteral("pdfinstall.exe"));
}

} // namespace InstallerFileSetting
