// The floor of the launcher's short paths on Linux: a program that loads the
// same Qt libraries (Widgets, and with it Gui and Core) and does nothing else.
#include <QApplication>

int main()
{
    // Taking the address keeps the library a dependency without calling it.
    void (*volatile beep)() = &QApplication::beep;
    return beep ? 0 : 1;
}
