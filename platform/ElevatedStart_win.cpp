#include "ElevatedStart.h"

#include <QString>

// shellapi.h needs the types that windows.h declares first.
#include <windows.h>

#include <shellapi.h>

namespace ElevatedStart {

// The "runas" verb makes the shell ask for administrator rights. The texts go
// to the shell as they are ("/" separators included); an empty directory is
// handed over as an empty string, never as a null pointer. The result is not
// examined: a refused prompt or a missing file simply starts nothing.
void start(const QString &file, const QString &workingDirectory)
{
    static const wchar_t empty[] = L"";
    const wchar_t *fileText = file.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(file.utf16());
    const wchar_t *dirText
            = workingDirectory.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(workingDirectory.utf16());
    ShellExecuteW(nullptr, L"runas", fileText, nullptr, dirText, SW_SHOWNORMAL);
}

} // namespace ElevatedStart
