#pragma once

// Whether another launcher from the same executable file already runs. It
// needs no application object, so a launcher that has to end at once finds
// out before it pays for the GUI.
class SingleInstance
{
public:
    // True when another living process with the same application id held
    // the instance lock when this process first asked; the answer does not
    // change afterwards. Otherwise that first call took the lock, which this
    // process keeps until it ends. The application id is derived from the
    // full path of the executable file (lower-cased on Windows, where paths
    // ignore case), so a copy at another path is a different application; it
    // is held per user, and per session on Windows.
    static bool anotherIsRunning();
};
