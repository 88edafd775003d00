#pragma once

class QString;

// The program sets no application name of its own: its per-user folders are
// named after its executable file, the launcher's pid record and the
// installer folder included. Windows takes that name from the file itself;
// elsewhere Qt would take it from argv[0], so a start through a symlink or
// with another argv[0] would move those folders.
namespace ApplicationName {

// Names the application after the base name of its executable file (the
// name up to its first dot), as Qt does on Windows. Call it right after the
// application object is created.
void followExecutableFile();

// The full path of this process's executable file, the same string as
// QCoreApplication::applicationFilePath(), but also before any application
// object exists. Empty when the system does not tell.
QString executableFilePath();

} // namespace ApplicationName
