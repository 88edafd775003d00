// A Windows program that does nothing for the number of seconds given as
// its argument (60 without one): copied under the converter's image name, it
// stands for a converter that must be ended, or must be left alone.
#include <windows.h>

#include <cstdlib>

int main(int argc, char *argv[])
{
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
    ::Sleep(DWORD(seconds > 0 ? seconds : 0) * 1000);
    return 0;
}
