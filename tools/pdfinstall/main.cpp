// Stand-in for the installer that the update service serves as pdfinstall.exe.
// It installs nothing: it records how it was started, so that the way the
// update dialogs hand it to the shell can be checked, and exits.
//
// The record is the file "<own name without .exe>.run" beside the executable,
// UTF-8, three lines: the command line exactly as the process received it,
// the working directory, the path of the executable.

#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring modulePath()
{
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
    path.resize(length);
    return path;
}

std::wstring currentDirectory()
{
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return std::wstring();
    std::wstring directory(size, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(size, &directory[0]);
    directory.resize(length);
    return directory;
}

bool writeFile(const std::wstring &path, const std::string &content)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr)
            && written == DWORD(content.size());
    return ::CloseHandle(file) && ok;
}

} // namespace

int main()
{
    const std::wstring self = modulePath();
    std::wstring record = self;
    const size_t dot = record.find_last_of(L'.');
    const size_t separator = record.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator))
        record.erase(dot);
    record += L".run";

    const std::string content = utf8(::GetCommandLineW()) + '\n' + utf8(currentDirectory()) + '\n' + utf8(self) + '\n';
    // Written under another name first: whoever waits for the record never
    // reads half of it.
    const std::wstring partial = record + L".part";
    if (!writeFile(partial, content) || !::MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
