#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return QDir(QStringLiteral(":/images")).exists() ? 0 : 1;
}
