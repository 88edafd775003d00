#include "QtSingleApplication.h"

#include "ApplicationName.h"
#include "InstanceLock.h"

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

QtSingleApplication::QtSingleApplication(int &argc, char **argv, bool GUIenabled)
    : QApplication(argc, argv)
{
    Q_UNUSED(GUIenabled)
    isRunning();
}

QtSingleApplication::~QtSingleApplication() = default;

bool QtSingleApplication::isRunning()
{
    // One lock per process, held until it ends: the operating system drops it
    // then, however the process ended.
    static const InstanceLock lock(defaultApplicationId());
    return !lock.isAcquired();
}
