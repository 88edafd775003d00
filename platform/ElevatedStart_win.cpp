#include "ElevatedStart.h"

#include <QString>

// shellapi.h needs the types that windows.h declares first.
#include <windows.h>

#include <shellapi.h>

ElevatedStart::ElevatedStart(QObject *parent)
    : QObject(parent)
{}

// The installer runs on: only the handle goes.
ElevatedStart::~ElevatedStart()
{
    forget();
}

void ElevatedStart::forget()
{
    if (m_process)
        CloseHandle(static_cast<HANDLE>(m_process));
    m_process = nullptr;
}

// The "runas" verb makes the shell ask for administrator rights. The texts go
// to the shell as they are ("/" separators included); an empty directory is
// handed over as an empty string, never as a null pointer. SEE_MASK_NOASYNC
// returns only once the shell has started the program (or given up), so a
// caller that holds the installer open keeps it unchanged until then, and
// the result is known on return: a refused prompt (ERROR_CANCELLED) or a
// missing file fails it; SEE_MASK_FLAG_NO_UI keeps the shell from saying so.
// SEE_MASK_NOCLOSEPROCESS leaves the installer's process handle, to see
// whether it still runs.
bool ElevatedStart::start(const QString &file, const QString &workingDirectory)
{
    forget();
    static const wchar_t empty[] = L"";
    const wchar_t *fileText = file.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(file.utf16());
    const wchar_t *dirText
            = workingDirectory.isEmpty() ? empty : reinterpret_cast<const wchar_t *>(workingDirectory.utf16());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = fileText;
    info.lpParameters = nullptr;
    info.lpDirectory = dirText;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return false;
    // No handle when the shell handed the file to a running program instead.
    m_process = info.hProcess;
    return true;
}

bool ElevatedStart::isRunning() const
{
    return m_process && WaitForSingleObject(static_cast<HANDLE>(m_process), 0) == WAIT_TIMEOUT;
}
