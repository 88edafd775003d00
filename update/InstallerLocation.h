#pragma once

#include <QString>

// Where a downloaded installer is kept by default: a folder beside the
// per-user configuration folder whose name ends in "pdfconverter/output".
// The folder is not created here; "/" separators are kept throughout.
namespace InstallerLocation {

QString folder();
QString file(); // folder() + "/pdfinstall.exe"

} // namespace InstallerLocation
