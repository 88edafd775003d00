#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: the application object the production code
// expects, and a fresh folder for every input so that nothing read for one
// input (QSettings keeps parsed files cached by path) can answer for another.
namespace FuzzSupport {

// Creates the QCoreApplication once; call from LLVMFuzzerInitialize.
void init(int *argc, char ***argv);

// An empty folder that no earlier input has used.
QString freshFolder();

// Writes `data` to `path`; false when the file cannot be written completely.
bool writeFile(const QString &path, const char *data, size_t size);

// Removes the folder made by freshFolder() and everything in it.
void removeFolder(const QString &folder);

} // namespace FuzzSupport

// A property that does not hold is a finding, like a crash.
#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) { \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort(); \
        } \
    } while (0)
