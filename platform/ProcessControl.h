#pragma once

#include <QtGlobal>

class QString;

// Looking at and ending another process by its id.
namespace ProcessControl {

// The full path of the executable that process `pid` runs, or an empty
// string when the process is gone or cannot be inspected. A file replaced or
// removed since the process started is still named by the path it had.
QString executablePath(qint64 pid);

// Ends process `pid` (a request the process cannot refuse on Windows; SIGTERM
// elsewhere). Does not wait.
void terminate(qint64 pid);

} // namespace ProcessControl
