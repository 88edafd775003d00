#pragma once

#include <QString>

// The installer file of the dialog that installs without asking: convert.ini
// in the program directory may name the folder it goes to.
namespace InstallerFileSetting {

// "Setting/updatedir" of `directory`/convert.ini, read without a text codec;
// empty when the file or the key is missing.
QString updateDir(const QString &directory);

// "pdfinstall.exe" in `updatedir`, the folder text kept as it stands, or
// InstallerLocation::file() when `updatedir` is empty, relative or a folder
// that others can change (FolderPath::onlyUserCanChange).
QString installerFile(const QString &updatedir);

} // namespace InstallerFileSetting
