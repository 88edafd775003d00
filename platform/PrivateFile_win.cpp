#include "PrivateFile.h"

#include <QFile>
#include <QString>

#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <memory>
#include <vector>

namespace PrivateFile {

namespace {

QString systemError(DWORD code)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString message = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return message;
}

struct LocalDeleter
{
    void operator()(void *memory) const { LocalFree(memory); }
};

// The account the process runs as, in a buffer that holds its SID.
std::vector<BYTE> currentUser(DWORD *failure)
{
    std::vector<BYTE> user;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        *failure = GetLastError();
        return user;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        *failure = GetLastError();
        user.clear();
    }
    CloseHandle(token);
    return user;
}

} // namespace

bool create(QFile &file, const QString &path, QString *error)
{
    const auto fail = [&](DWORD code) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, systemError(code));
        return false;
    };
    DWORD failure = ERROR_ACCESS_DENIED;
    const std::vector<BYTE> user = currentUser(&failure);
    if (user.empty())
        return fail(failure);

    // One entry: full control for the user. A protected list takes nothing
    // from the folder, so neither Administrators nor other users inherit
    // access to the file.
    EXPLICIT_ACCESS_W entry = {};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<const TOKEN_USER *>(user.data())->User.Sid);
    PACL acl = nullptr;
    const DWORD aclResult = SetEntriesInAclW(1, &entry, nullptr, &acl);
    if (aclResult != ERROR_SUCCESS)
        return fail(aclResult);
    const std::unique_ptr<ACL, LocalDeleter> ownedAcl(acl);

    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)
        || !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return fail(GetLastError());
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;

    // CREATE_NEW fails on any existing name, a link included.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_WRITE, 0, &attributes,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail(GetLastError());
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return fail(ERROR_INVALID_HANDLE);
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        _close(fd);
        return fail(ERROR_INVALID_HANDLE);
    }
    return true;
}

bool openOwn(QFile &file, const QString &path, QString *error)
{
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return true;
    *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace PrivateFile
