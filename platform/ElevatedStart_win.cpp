#include "ElevatedStart.h"

#include <QString>

// shellapi.h needs the types that windows.h declares first.
#include <windows.h>

#include <shellapi.h>

namespace ElevatedStart {

// The "runas" verb makes the shell ask for administrator rights. The texts go
// to the shell as they are ("/" separators included); an empty directory is
// handed over as an empty string, never as a null pointer. SEE_MASK_NOASYNC
// returns only once the shell has started the program (or given up), so a
// caller that holds the installer open keeps it unchanged until then. The
// result is not examined: a refused prompt or a missing file starts nothing,
// and SEE_MASK_FLAG_NO_UI keeps the shell from saying so.
void start(const QString &file, const QString &workingDirectory)
{
    static const wchar_t empty[] = L"";
    const wchar_t *fileText = file.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(file.utf16());
    const wchar_t *dirText
            = workingDirectory.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(workingDirectory.utf16());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = fileText;
    info.lpParameters = nullptr;
    info.lpDirectory = dirText;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

} // namespace ElevatedStart
