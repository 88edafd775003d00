#include "QtSingleApplication.h"

#include "SingleInstance.h"

QtSingleApplication::QtSingleApplication(int &argc, char **argv, bool GUIenabled)
    : QApplication(argc, argv)
{
    Q_UNUSED(GUIenabled)
    isRunning();
}

QtSingleApplication::~QtSingleApplication() = default;

bool QtSingleApplication::isRunning()
{
    return SingleInstance::anotherIsRunning();
}
