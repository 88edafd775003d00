#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace FuzzSupport {

namespace {

QCoreApplication *application = nullptr;
QTemporaryDir *root = nullptr;
quint64 inputs = 0;

} // namespace

void init(int *argc, char ***argv)
{
    if (application)
        return;
    application = new QCoreApplication(*argc, *argv);
    root = new QTemporaryDir();
    if (!root->isValid()) {
        std::fprintf(stderr, "fuzz: no temporary folder\n");
        std::abort();
    }
    // The temporary tree goes when the run ends, also after a finding.
    std::atexit([] {
        delete root;
        root = nullptr;
    });
}

QString freshFolder()
{
    const QString folder = root->filePath(QString::number(++inputs));
    FUZZ_CHECK(QDir().mkpath(folder));
    return folder;
}

bool writeFile(const QString &path, const char *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(data, qint64(size)) == qint64(size);
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void removeFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
}

} // namespace FuzzSupport
