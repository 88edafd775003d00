#include "StartPathModule.h"

#include "ApplicationName.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <dlfcn.h>

int StartPathModule::run(int &argc, char **argv)
{
    // Only the module beside the executable file, by its full path: neither
    // LD_LIBRARY_PATH nor the working folder may choose the code that runs
    // here. The path is the file's own, symlinks resolved.
    const QString executable = ApplicationName::executableFilePath();
    if (executable.isEmpty()) {
        std::fprintf(stderr, "orvalinpdfLaunch: cannot start the splash: the executable file's path is unknown\n");
        return 1;
    }
    const QByteArray path = QFile::encodeName(QFileInfo(executable).path() + QStringLiteral("/" ORVALIN_SPLASH_MODULE));

    // The module is linked to have all its own symbols bound when it loads
    // (-z now): one that does not fit this executable fails here, not in the
    // middle of the splash. Qt's libraries behind it bind lazily, as in any
    // Qt program; binding all of Qt Gui and Widgets at once (RTLD_NOW) cost
    // about 2 ms more.
    void *module = ::dlopen(path.constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "orvalinpdfLaunch: cannot start the splash: %s\n", ::dlerror());
        return 1;
    }
    using Entry = int (*)(int *, char **);
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "orvalinStartPath"));
    if (!entry) {
        std::fprintf(stderr, "orvalinpdfLaunch: cannot start the splash: %s\n", ::dlerror());
        return 1;
    }
    // The module stays loaded: what it registered with Qt lives until exit.
    return entry(&argc, argv);
}
