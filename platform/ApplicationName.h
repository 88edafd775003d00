#pragma once

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

} // namespace ApplicationName
