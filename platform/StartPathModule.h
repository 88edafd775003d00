#pragma once

// The launcher's start path, for a launcher that found neither another
// launcher of its file nor a running converter: the application object from
// the command line (so Qt's own options apply), the splash, the pid record
// and the converter's restart, then the event loop. Returns main's exit code.
// Defined by the launcher (launcher/StartPath.cpp) under a plain C name, the
// one the executable looks up in the module on Linux.
extern "C" int orvalinStartPath(int *argc, char **argv);

// Runs orvalinStartPath(). On Windows it is linked into the executable, as
// all of a static Qt is. On Linux it lives in the splash's module beside the
// executable, with everything of Qt Gui and Widgets behind it: the launchers
// that only end at once or hand off load Qt Core alone.
namespace StartPathModule {

// What orvalinStartPath() returns; when the module cannot be loaded, 1, with
// the reason on standard error.
int run(int &argc, char **argv);

} // namespace StartPathModule
