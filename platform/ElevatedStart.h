#pragma once

class QString;

namespace ElevatedStart {

// Starts `file` with administrator rights in `workingDirectory` and does not
// wait for it. A refused prompt or a missing file fails silently.
void start(const QString &file, const QString &workingDirectory);

} // namespace ElevatedStart
