#include "UserFolders.h"

#include <QStandardPaths>

namespace UserFolders {

QString base(const QString &configLocation)
{
    constexpr int kDropped = 6; // "Launch"
    if (configLocation.size() < kDropped)
        return configLocation;
    return configLocation.left(configLocation.size() - kDropped);
}

QString base()
{
    return base(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace UserFolders
