// The launcher names its instance lock after its executable file before any
// application object exists; it has to be the very string Qt gives once one
// does, or launchers would stop seeing each other.

#include "ApplicationName.h"

#include <QtTest>

namespace {

// Taken before main() constructs the application object.
const QString beforeApplication = ApplicationName::executableFilePath();

} // namespace

class tst_ApplicationName : public QObject
{
    Q_OBJECT

private slots:
    void executableFilePathIsQtsApplicationFilePath()
    {
        QVERIFY(!beforeApplication.isEmpty());
        QCOMPARE(beforeApplication, QCoreApplication::applicationFilePath());
        QCOMPARE(ApplicationName::executableFilePath(), QCoreApplication::applicationFilePath());
    }
};

QTEST_GUILESS_MAIN(tst_ApplicationName)
#include "tst_applicationname.moc"
