// QueryFullProcessImageNameW and PROCESS_QUERY_LIMITED_INFORMATION: Windows 7 on.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0601
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

#include "ProcessControl.h"

#include <QDir>
#include <QString>

#include <windows.h>

namespace ProcessControl {

QString executablePath(qint64 pid)
{
    if (pid <= 0)
        return QString();
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (process == nullptr)
        return QString();
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = DWORD(sizeof buffer / sizeof buffer[0]);
    QString path;
    if (::QueryFullProcessImageNameW(process, 0, buffer, &size))
        path = QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(size)));
    ::CloseHandle(process);
    return path;
}

void terminate(qint64 pid)
{
    if (pid <= 0)
        return;
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid));
    if (process == nullptr)
        return;
    ::TerminateProcess(process, 0);
    ::CloseHandle(process);
}

} // namespace ProcessControl
