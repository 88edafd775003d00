// Baseline for the splash's memory: a plain Qt widget of the splash's size,
// shown, with an idle event loop. It runs until it is ended from outside.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(200, 250);
    window.show();
    return app.exec();
}
