#include "InstallerLocation.h"

#include <QStandardPaths>

namespace InstallerLocation {

QString folder()
{
    // The configuration location ends in the executable's base name; for
    // orvalinpdfLaunch the six characters dropped are "Launch".
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return base.left(base.length() - 6) + QStringLiteral("pdfconverter/output");
}

QString file()
{
    return folder() + QStringLiteral("/pdfinstall.exe");
}

} // namespace InstallerLocation
