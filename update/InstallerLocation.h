#pragma once

#include <QString>

// Where a downloaded installer is kept by default: UserFolders::base()
// followed by "pdfconverter/output", a folder beside the per-user
// configuration folder. The folder is not created here; "/" separators are
// kept throughout.
namespace InstallerLocation {

QString folder();
QString file(); // folder() + "/pdfinstall.exe"

} // namespace InstallerLocation
