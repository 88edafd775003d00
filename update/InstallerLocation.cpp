#include "InstallerLocation.h"

#include "UserFolders.h"

namespace InstallerLocation {

QString folder()
{
    return UserFolders::base() + QStringLiteral("pdfconverter/output");
}

QString file()
{
    return folder() + QStringLiteral("/pdfinstall.exe");
}

} // namespace InstallerLocation
