#include "UpdateTestSupport.h"

#include "FakeElevation.h"
#include "InstallerLocation.h"
#include "UpdateService.h"

#include <QDir>
#include <QFile>

namespace UpdateTest {

HttpResponse answer(const QByteArray &body, int status)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    return response;
}

HttpResponse offerAnswer(const QString &url, const QString &version, const QString &notes)
{
    return answer(UpdateService::checkAnswer(true, url, version, notes));
}

QByteArray paddedInstaller(const FakeElevation &elevation, int size)
{
    QByteArray script = elevation.installerScript() + "exit 0\n";
    const QByteArray line = "# " + QByteArray(97, 'p') + '\n';
    while (script.size() < size)
        script += line;
    return script.left(size);
}

ConfigFolder::ConfigFolder()
{
    if (m_dir.isValid())
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
}

bool ConfigFolder::isValid() const
{
    return m_dir.isValid() && InstallerLocation::folder().startsWith(m_dir.path());
}

bool ConfigFolder::resetInstallerFolder() const
{
    QDir(InstallerLocation::folder()).removeRecursively();
    return QDir().mkpath(InstallerLocation::folder());
}

} // namespace UpdateTest
