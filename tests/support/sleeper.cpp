// A Windows program that does nothing for the number of seconds given as
// its first argument (60 without one): copied under the converter's image
// name, it stands for a converter that must be ended, or must be left alone.
// With ORVALIN_SLEEPER_LOG set it
// appends "<its file name> <how many other processes share that name>" to
// that file once it is ready, so a test sees what it met at its start.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include <tlhelp32.h>

namespace {

std::wstring ownFileName()
{
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

int othersNamed(const std::wstring &name)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != ::GetCurrentProcessId() && ::_wcsicmp(entry.szExeFile, name.c_str()) == 0)
            ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

void report()
{
    wchar_t log[MAX_PATH];
    if (::GetEnvironmentVariableW(L"ORVALIN_SLEEPER_LOG", log, MAX_PATH) == 0)
        return;
    const std::wstring name = ownFileName();
    char line[MAX_PATH * 3 + 16];
    const int used = ::WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, line, MAX_PATH * 3, nullptr, nullptr);
    if (used <= 0)
        return;
    const std::string text = std::string(line) + " " + std::to_string(othersNamed(name)) + "\n";
    HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

} // namespace

int main(int argc, char *argv[])
{
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
    report();
    ::Sleep(DWORD(seconds > 0 ? seconds : 0) * 1000);
    return 0;
}
