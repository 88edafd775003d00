#include "FolderPath.h"

#include <QDir>
#include <QString>

#include <windows.h>

#include <aclapi.h>

namespace FolderPath {

namespace {

// Rights that let their holder put entries into the folder, take them out
// (renaming included), or give itself those rights.
constexpr ACCESS_MASK kChangingRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC
        | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

struct TrustedSids
{
    BYTE user[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    bool valid = false;

    TrustedSids()
    {
        DWORD size = sizeof(administrators);
        if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
            return;
        size = sizeof(system);
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size))
            return;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD length = 0;
        const bool got = GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &length);
        CloseHandle(token);
        if (!got)
            return;
        const PSID sid = reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid;
        valid = CopySid(sizeof(user), user, sid) != FALSE;
    }

    bool trusts(PSID sid) { return EqualSid(sid, user) || EqualSid(sid, administrators) || EqualSid(sid, system); }
};

} // namespace

QString join(const QString &folder, const QString &fileName)
{
    return folder + QLatin1Char('\\') + fileName;
}

bool onlyUserCanChange(const QString &folder)
{
    // "D:Setup" and "\Setup" depend on the current drive and folder.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return false;
    const std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    // A junction or link could be pointed elsewhere.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;

    TrustedSids trusted;
    if (!trusted.valid)
        return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    // No access list at all lets everyone do everything; an owner may always
    // rewrite the list.
    bool safe = dacl && owner && trusted.trusts(owner);
    for (DWORD i = 0; safe && i < dacl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void **>(&header))) {
            safe = false;
            break;
        }
        // Entries that only pass down to what the folder will hold, and those
        // that deny, give no one a right on the folder itself.
        if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            safe = false; // a kind of entry not judged here
            break;
        }
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        if ((ace->Mask & kChangingRights) && !trusted.trusts(reinterpret_cast<PSID>(&ace->SidStart)))
            safe = false;
    }
    LocalFree(descriptor);
    return safe;
}

} // namespace FolderPath
