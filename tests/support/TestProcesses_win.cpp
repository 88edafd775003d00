#include "TestProcesses.h"

#include "ProcessControl.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <windows.h>

#include <utility>

#include <tlhelp32.h>

namespace TestProcesses {

namespace {

QString comparable(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path)).toLower();
}

BOOL CALLBACK findVisibleWindow(HWND window, LPARAM found)
{
    auto *wanted = reinterpret_cast<std::pair<DWORD, bool> *>(found);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == wanted->first && ::IsWindowVisible(window)) {
        wanted->second = true;
        return FALSE;
    }
    return TRUE;
}

QList<Process> all()
{
    QList<Process> found;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        Process process;
        process.pid = entry.th32ProcessID;
        process.parentPid = entry.th32ParentProcessID;
        process.executable = ProcessControl::executablePath(entry.th32ProcessID);
        found.append(process);
    }
    ::CloseHandle(snapshot);
    return found;
}

} // namespace

QList<Process> below(const QString &folder)
{
    const QString prefix = comparable(folder) + QLatin1Char('/');
    QList<Process> found;
    for (const Process &process : all()) {
        if (!process.executable.isEmpty() && comparable(process.executable).startsWith(prefix))
            found.append(process);
    }
    return found;
}

bool isRunning(qint64 pid)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (process == nullptr)
        return false;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

bool waitForWindow(qint64 pid, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        std::pair<DWORD, bool> wanted(DWORD(pid), false);
        ::EnumWindows(findVisibleWindow, reinterpret_cast<LPARAM>(&wanted));
        if (wanted.second)
            return true;
        if (!isRunning(pid) || deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

void end(qint64 pid)
{
    ProcessControl::terminate(pid);
}

} // namespace TestProcesses
