#include "ApplicationName.h"

namespace ApplicationName {

void followExecutableFile()
{
    // Qt already names the application after its executable file here.
}

} // namespace ApplicationName
