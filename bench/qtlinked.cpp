// The floor of the launcher's short paths on Linux: a program that loads the
// same Qt library (Core; the splash's module brings Gui and Widgets) and
// does nothing else.
#include <QCoreApplication>

int main()
{
    // Taking the address keeps the library a dependency without calling it.
    qint64 (*volatile pid)() = &QCoreApplication::applicationPid;
    return pid ? 0 : 1;
}
