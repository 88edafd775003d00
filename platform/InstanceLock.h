#pragma once

#include <QString>

// An exclusive lock named by `id` for the current user (the current session
// on Windows), held by this process until the object is destroyed. The
// operating system releases it when the process ends in any way, killed
// included, so a lock is never left behind and never goes stale with age.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &id);
    ~InstanceLock();

    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another living process holds the lock for the same id.
    bool isAcquired() const { return m_acquired; }

private:
    bool m_acquired = false;
    qintptr m_handle = -1;
};
