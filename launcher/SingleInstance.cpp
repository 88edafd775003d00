#include "SingleInstance.h"

#include "ApplicationName.h"
#include "InstanceLock.h"

#include <QString>

namespace {

QString defaultApplicationId()
{
    QString id = ApplicationName::executableFilePath();
#ifdef Q_OS_WIN
    id = id.toLower();
#endif
    return QStringLiteral("orvalin-single-application:") + id;
}

} // namespace

bool SingleInstance::anotherIsRunning()
{
    // One lock per process, held until it ends: the operating system drops it
    // then, however the process ended. On Linux the splash's module asks
    // through the executable, which holds the only copy of this lock.
    static const InstanceLock lock(defaultApplicationId());
    return !lock.isAcquired();
}
