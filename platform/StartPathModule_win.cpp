#include "StartPathModule.h"

int StartPathModule::run(int &argc, char **argv)
{
    return orvalinStartPath(&argc, argv);
}
