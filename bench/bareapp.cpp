// Baseline for the launcher's short paths: what it costs to bring Qt up (the
// platform plugin included) and leave again.
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return 0;
}
