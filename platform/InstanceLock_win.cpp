#include "InstanceLock.h"

#include <QCryptographicHash>

#include <windows.h>

InstanceLock::InstanceLock(const QString &id)
{
    // A named mutex in the session's "Local\" namespace: per session, and the
    // system closes it with its last holder, however that one ended.
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(24);
    const QString name = QStringLiteral("Local\\orvalin-instance-") + QString::fromLatin1(digest);
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    const DWORD error = ::GetLastError();
    if (mutex == nullptr) {
        // Access denied means the name exists and someone else holds it.
        m_acquired = error != ERROR_ACCESS_DENIED;
        return;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return;
    }
    m_acquired = true;
    m_handle = reinterpret_cast<qintptr>(mutex);
}

InstanceLock::~InstanceLock()
{
    if (m_handle != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
