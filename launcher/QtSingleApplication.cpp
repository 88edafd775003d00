#include "QtSingleApplication.h"

#include "InstanceLock.h"

namespace {

QString defaultApplicationId()
{
    QString id = QCoreApplication::applicationFilePath();
#ifdef Q_OS_WIN
    id = id.toLower();
#endif
    return QStringLiteral("orvalin-single-application:") + id;
}

} // namespace

QtSingleApplication::QtSingleApplication(int &argc, char **argv, bool GUIenabled)
    : QApplication(argc, argv)
    , m_lock(new InstanceLock(defaultApplicationId()))
{
    Q_UNUSED(GUIenabled)
}

QtSingleApplication::~QtSingleApplication() = default;

bool QtSingleApplication::isRunning() const
{
    return !m_lock->isAcquired();
}
