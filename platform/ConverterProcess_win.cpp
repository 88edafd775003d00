// PROCESS_QUERY_LIMITED_INFORMATION: Windows Vista on.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif

#include "ConverterProcess.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <windows.h>

#include <memory>
#include <vector>

#include <tlhelp32.h>

namespace {

struct HandleCloser
{
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The user a token belongs to; empty when it cannot be read.
std::vector<char> tokenUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    const Handle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return {};
    return buffer;
}

bool sameUser(const std::vector<char> &a, const std::vector<char> &b)
{
    return !a.empty() && !b.empty()
            && ::EqualSid(reinterpret_cast<const TOKEN_USER *>(a.data())->User.Sid,
                          reinterpret_cast<const TOKEN_USER *>(b.data())->User.Sid);
}

// Ends every process of this user whose image is `imageName` (compared as
// Windows compares file names) and returns the handles of those it ended,
// to wait on. Processes of other users are left alone, as the user's own
// taskkill would have to.
std::vector<Handle> terminateAll(const QString &imageName, const std::vector<char> &me)
{
    std::vector<Handle> ended;
    HANDLE list = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE)
        return ended;
    const Handle snapshot(list);
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self
            || QString::fromWCharArray(entry.szExeFile).compare(imageName, Qt::CaseInsensitive) != 0)
            continue;
        Handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     entry.th32ProcessID));
        if (!process || !sameUser(tokenUser(process.get()), me))
            continue;
        if (::TerminateProcess(process.get(), 1))
            ended.push_back(std::move(process));
    }
    return ended;
}

} // namespace

namespace ConverterProcess {

void killByImageName(const QString &imageName)
{
    // Through the API rather than taskkill: no program is looked up on the
    // search path (which starts with the current directory, wherever a
    // document was opened from), and TerminateProcess only asks for the end,
    // so each ended process is waited for before the caller starts the new
    // converter. Bounded, so a process that will not die cannot hang the
    // launcher; a converter started meanwhile is caught by the next round.
    const std::vector<char> me = tokenUser(::GetCurrentProcess());
    const QDeadlineTimer deadline(5000);
    for (;;) {
        const std::vector<Handle> ended = terminateAll(imageName, me);
        if (ended.empty())
            return;
        for (const Handle &process : ended)
            ::WaitForSingleObject(process.get(), DWORD(qMax<qint64>(0, deadline.remainingTime())));
        if (deadline.hasExpired())
            return;
    }
}

void start(const QString &executablePath)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(executablePath));
}

} // namespace ConverterProcess
