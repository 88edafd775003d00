#include "ConverterProcess.h"

#include <QDesktopServices>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace ConverterProcess {

void killByImageName(const QString &imageName)
{
    // Runs "taskkill /im <imageName> /f" and waits for it; taskkill itself
    // returns only once the processes have been ended.
    QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("/im"), imageName, QStringLiteral("/f")});
}

void start(const QString &executablePath)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(executablePath));
}

} // namespace ConverterProcess
