#include "FolderPath.h"

#include <QString>

namespace FolderPath {

QString join(const QString &folder, const QString &fileName)
{
    return folder + QLatin1Char('\\') + fileName;
}

} // namespace FolderPath
